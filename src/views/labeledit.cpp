#include "labeledit.h"

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

void LabelEditDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        m_commit(line->text());
    }
}

} // namespace views
