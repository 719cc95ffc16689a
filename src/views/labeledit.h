#pragma once

#include <QPointer>
#include <QStyledItemDelegate>
#include <functional>

namespace views {

// Qt's own in-place line editor for a row or tree label, with two differences: the typed text is
// handed to the view (which renames on disk and sets the label itself) instead of being written
// into the model, and the view sees the editor's keys before the editor does, as it sees its own.
class LabelEditDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // commit receives the text when the user ends the edit with it (not when he cancels).
    LabelEditDelegate(QObject* keyFilter, std::function<void(const QString&)> commit, QObject* parent);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    // The open editor; null when none is open.
    QWidget* editor() const { return m_editor; }

private:
    QObject* m_keyFilter;
    std::function<void(const QString&)> m_commit;
    mutable QPointer<QWidget> m_editor;
};

} // namespace views
