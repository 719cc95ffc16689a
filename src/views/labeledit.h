#pragma once

#include <QPointer>
#include <QStyledItemDelegate>
#include <functional>

namespace views {

// How a pane's first column shows its names, and Qt's own in-place line editor for them. A label
// holds a Windows name (platform::windowsNameOf), which is shown and edited with the characters
// it carries: `a "b".txt`, a line feed as its picture. The typed text is handed to the view
// (which renames on disk and sets the label itself) as a Windows name again instead of being
// written into the model, and the view sees the editor's keys before the editor does.
class LabelEditDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // commit receives the text when the user ends the edit with it (not when he cancels).
    LabelEditDelegate(QObject* keyFilter, std::function<void(const QString&)> commit, QObject* parent);

    QString displayText(const QVariant& value, const QLocale& locale) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    // The open editor; null when none is open.
    QWidget* editor() const { return m_editor; }

private:
    QObject* m_keyFilter;
    std::function<void(const QString&)> m_commit;
    mutable QPointer<QWidget> m_editor;
};

} // namespace views
