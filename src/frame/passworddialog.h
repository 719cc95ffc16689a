#pragma once

#include "archivewindow.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace frame {

// The password question: its text, a masked field (and a second one that repeats a new password),
// "Show Password", OK and Cancel.
class PasswordDialog : public QDialog {
public:
    PasswordDialog(const archive::PasswordRequest& request, QWidget* parent);

    archive::PasswordAnswer answer() const;
    // The fields, for tests that type into them.
    QLineEdit* passwordField() const { return m_password; }
    QLineEdit* confirmationField() const { return m_confirmation; }
    QCheckBox* showPasswordBox() const { return m_show; }

private:
    QLineEdit* m_password = nullptr;
    QLineEdit* m_confirmation = nullptr;
    QCheckBox* m_show = nullptr;
};

} // namespace frame
