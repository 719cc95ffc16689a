#include "findbar.h"

#include "texts.h"

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace frame {

FindBar::FindBar(QWidget* parent) : QToolBar(parent) {
    setObjectName("findBar");
    setWindowTitle(QString::fromUtf8(res::kFindLabel));
    setMovable(false);
    setFloatable(false);
    addWidget(new QLabel(QString::fromUtf8(res::kFindLabel) + " ", this));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName("findText");
    m_edit->setPlaceholderText(QString::fromUtf8(res::kFindPlaceholder));
    m_edit->setClearButtonEnabled(true);
    m_edit->setMinimumWidth(260);
    m_edit->installEventFilter(this);
    addWidget(m_edit);
    m_matchCase = new QCheckBox(QString::fromUtf8(res::kFindMatchCase), this);
    addWidget(m_matchCase);
    m_result = new QLabel(this);
    m_result->setMinimumWidth(120);
    m_result->setContentsMargins(8, 0, 8, 0);
    addWidget(m_result);
    QAction* close = addAction(QString::fromUtf8(res::kFindClose));
    connect(close, &QAction::triggered, this, &FindBar::closeRequested);
    connect(m_edit, &QLineEdit::returnPressed, this,
            [this] { emit findRequested(m_edit->text(), matchCase()); });
    connect(m_matchCase, &QCheckBox::toggled, this, [this] {
        if (!m_edit->text().isEmpty() && !m_result->text().isEmpty()) {
            emit findRequested(m_edit->text(), matchCase());
        }
    });
    hide();
}

void FindBar::open() {
    show();
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
}

bool FindBar::matchCase() const {
    return m_matchCase->isChecked();
}

void FindBar::setResultText(const QString& text) {
    m_result->setText(text);
}

QString FindBar::resultText() const {
    return m_result->text();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        emit closeRequested();
        return true;
    }
    return QToolBar::eventFilter(watched, event);
}

} // namespace frame
