#include "propertieswindow.h"

#include "texts.h"

#include <QApplication>
#include <QClipboard>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace frame {

PropertiesWindow::PropertiesWindow(QWidget* owner, std::function<bool(const std::string&)> commentSaver)
    : QDialog(owner, Qt::Window), m_saveComment(std::move(commentSaver)) {
    setObjectName("propertiesWindow");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    m_form = new QFormLayout;
    m_form->setLabelAlignment(Qt::AlignLeft);
    layout->addLayout(m_form);

    m_commentBox = new QGroupBox(QString::fromUtf8(res::kPropertiesComment), this);
    auto* commentLayout = new QVBoxLayout(m_commentBox);
    m_comment = new QPlainTextEdit(m_commentBox);
    m_comment->setReadOnly(true);
    m_comment->setObjectName("comment");
    commentLayout->addWidget(m_comment);
    auto* commentButtons = new QHBoxLayout;
    m_edit = new QPushButton(QString::fromUtf8(res::kPropertiesEditComment), m_commentBox);
    m_cancelEdit = new QPushButton(QString::fromUtf8(res::kPropertiesCancelEdit), m_commentBox);
    commentButtons->addWidget(m_edit);
    commentButtons->addWidget(m_cancelEdit);
    commentButtons->addStretch();
    commentLayout->addLayout(commentButtons);
    layout->addWidget(m_commentBox, 1);

    auto* buttons = new QHBoxLayout;
    auto* copy = new QPushButton(QString::fromUtf8(res::kPropertiesCopyAll), this);
    auto* close = new QPushButton(QString::fromUtf8(res::kPropertiesClose), this);
    close->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_edit, &QPushButton::clicked, this, [this] { m_editing ? (void)saveComment() : editComment(); });
    connect(m_cancelEdit, &QPushButton::clicked, this, [this] {
        m_comment->setPlainText(QString::fromStdString(m_properties.comment));
        setEditing(false);
    });
    connect(copy, &QPushButton::clicked, this, &PropertiesWindow::copyAll);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    resize(520, 480);
    setEditing(false);
}

void PropertiesWindow::showProperties(const archive::Properties& properties) {
    m_properties = properties;
    setWindowTitle(QString::fromStdString(properties.title));
    while (m_form->rowCount() > 0) {
        m_form->removeRow(0);
    }
    for (const archive::PropertyLine& line : properties.lines) {
        auto* value = new QLabel(QString::fromStdString(line.value), this);
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        value->setWordWrap(true);
        m_form->addRow(QString::fromStdString(line.label) + ":", value);
    }
    m_commentBox->setVisible(properties.hasComment);
    m_comment->setPlainText(QString::fromStdString(properties.comment));
    setEditing(false);
}

QString PropertiesWindow::text() const {
    archive::Properties shown = m_properties;
    if (m_editing) {
        shown.comment = m_comment->toPlainText().toStdString();
    }
    return QString::fromStdString(archive::propertiesText(shown));
}

void PropertiesWindow::editComment() {
    if (m_properties.kind == archive::Properties::Kind::Archive) {
        setEditing(true);
        m_comment->setFocus(Qt::OtherFocusReason);
    }
}

bool PropertiesWindow::saveComment() {
    if (!m_editing || !m_saveComment) {
        return false;
    }
    const std::string comment = m_comment->toPlainText().toStdString();
    if (!m_saveComment(comment)) {
        return false; // the editor keeps what was typed, for another try
    }
    setEditing(false);
    return true;
}

void PropertiesWindow::setEditing(bool editing) {
    m_editing = editing;
    m_comment->setReadOnly(!editing);
    const bool archive = m_properties.kind == archive::Properties::Kind::Archive;
    m_edit->setVisible(archive);
    m_edit->setText(QString::fromUtf8(editing ? res::kPropertiesSaveComment : res::kPropertiesEditComment));
    m_cancelEdit->setVisible(archive && editing);
}

void PropertiesWindow::copyAll() {
    QApplication::clipboard()->setText(text());
}

} // namespace frame
