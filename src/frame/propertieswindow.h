#pragma once

#include "archiveinfo.h"

#include <QDialog>
#include <functional>

class QFormLayout;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace frame {

// The Properties window of the open archive, of a member or of a folder of it: labelled values
// the user can select and copy, and the comment in full as read-only text, which may be long
// (an archive comment holds up to 65,535 bytes). The archive's comment can be edited and saved.
// A window of its own that stays open beside the main window; showing other properties reuses it.
class PropertiesWindow : public QDialog {
    Q_OBJECT
public:
    // commentSaver stores a new archive comment; true when it was stored.
    PropertiesWindow(QWidget* owner, std::function<bool(const std::string&)> commentSaver);

    void showProperties(const archive::Properties& properties);
    const archive::Properties& properties() const { return m_properties; }
    // All the window says, as propertiesText has it.
    QString text() const;

    // The archive comment: start editing it, and save what the editor holds.
    void editComment();
    bool saveComment();
    bool isEditingComment() const { return m_editing; }
    QPlainTextEdit* commentEditor() const { return m_comment; }
    QPushButton* editButton() const { return m_edit; }

private:
    void setEditing(bool editing);
    void copyAll();

    std::function<bool(const std::string&)> m_saveComment;
    archive::Properties m_properties;
    QFormLayout* m_form = nullptr;
    QGroupBox* m_commentBox = nullptr;
    QPlainTextEdit* m_comment = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_cancelEdit = nullptr;
    bool m_editing = false;
};

} // namespace frame
