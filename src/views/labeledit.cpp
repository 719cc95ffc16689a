#include "labeledit.h"

#include "hostnames.h"

#include <QLineEdit>

namespace views {

LabelEditDelegate::LabelEditDelegate(QObject* keyFilter, std::function<void(const QString&)> commit,
                                     QObject* parent)
    : QStyledItemDelegate(parent), m_keyFilter(keyFilter), m_commit(std::move(commit)) {}

QWidget* LabelEditDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (editor != nullptr) {
        editor->installEventFilter(m_keyFilter);
    }
    m_editor = editor;
    return editor;
}

QString LabelEditDelegate::displayText(const QVariant& value, const QLocale& locale) const {
    if (value.typeId() != QMetaType::QString) {
        return QStyledItemDelegate::displayText(value, locale);
    }
    return QString::fromStdString(platform::shownNameOf(value.toString().toStdString()));
}

void LabelEditDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setText(displayText(index.data(Qt::EditRole), QLocale()));
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void LabelEditDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        // A name left as it was shown stays the name it was, even where the shown text cannot say
        // every byte of it (a byte that is not UTF-8 is shown as U+FFFD).
        const QString name = index.data(Qt::EditRole).toString();
        m_commit(line->text() == displayText(name, QLocale())
                     ? name
                     : QString::fromStdString(platform::windowsNameFromTyped(line->text().toStdString())));
    }
}

} // namespace views
