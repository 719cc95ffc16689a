#include "reportbox.h"

#include "texts.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace frame {

namespace {

QStyle::StandardPixmap pixmapFor(QMessageBox::Icon icon) {
    switch (icon) {
    case QMessageBox::Critical:
        return QStyle::SP_MessageBoxCritical;
    case QMessageBox::Warning:
        return QStyle::SP_MessageBoxWarning;
    case QMessageBox::Question:
        return QStyle::SP_MessageBoxQuestion;
    default:
        return QStyle::SP_MessageBoxInformation;
    }
}

} // namespace

ReportBox::ReportBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                     const std::vector<std::string>& lines, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* picture = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    picture->setPixmap(style()->standardIcon(pixmapFor(icon), nullptr, this).pixmap(size, size));
    picture->setAlignment(Qt::AlignTop);
    top->addWidget(picture);
    auto* message = new QLabel(text, this);
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    top->addWidget(message, 1);
    layout->addLayout(top);

    QString all;
    for (const std::string& line : lines) {
        all += QString::fromStdString(line) + "\n";
    }
    m_list = new QPlainTextEdit(all, this);
    m_list->setReadOnly(true);
    m_list->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(m_list, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* copy = buttons->addButton(QString::fromUtf8(res::kReportCopy), QDialogButtonBox::ActionRole);
    connect(copy, &QPushButton::clicked, this, [all] { QApplication::clipboard()->setText(all); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    resize(560, 360);
}

} // namespace frame
