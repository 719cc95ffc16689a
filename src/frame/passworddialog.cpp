#include "passworddialog.h"

#include "passwordtexts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace frame {

PasswordDialog::PasswordDialog(const archive::PasswordRequest& request, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QString::fromStdString(request.caption));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(QString::fromStdString(request.text), this);
    text->setWordWrap(true);
    layout->addWidget(text);

    auto* fields = new QFormLayout;
    auto addField = [&](const char* label) {
        auto* field = new QLineEdit(this);
        field->setEchoMode(QLineEdit::Password);
        // The desktop's input methods and completion must not keep what is typed here.
        field->setAttribute(Qt::WA_InputMethodEnabled, false);
        auto* caption = new QLabel(QString::fromUtf8(label), this);
        caption->setBuddy(field);
        fields->addRow(caption, field);
        return field;
    };
    m_password = addField(res::kPasswordLabel);
    if (request.confirm) {
        m_confirmation = addField(res::kPasswordConfirmLabel);
    }
    layout->addLayout(fields);

    m_show = new QCheckBox(QString::fromUtf8(res::kShowPassword), this);
    connect(m_show, &QCheckBox::toggled, this, [this](bool shown) {
        const QLineEdit::EchoMode mode = shown ? QLineEdit::Normal : QLineEdit::Password;
        m_password->setEchoMode(mode);
        if (m_confirmation != nullptr) {
            m_confirmation->setEchoMode(mode);
        }
    });
    layout->addWidget(m_show);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    m_password->setFocus();
}

archive::PasswordAnswer PasswordDialog::answer() const {
    archive::PasswordAnswer answer;
    answer.password = m_password->text().toStdString();
    if (m_confirmation != nullptr) {
        answer.confirmation = m_confirmation->text().toStdString();
    }
    return answer;
}

} // namespace frame
