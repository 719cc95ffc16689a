#include "windowseam.h"

#include "archivefiledialog.h"
#include "drivemap.h"
#include "hostnames.h"
#include "mainframe.h"
#include "mytreeview.h"
#include "passworddialog.h"
#include "progressdialog.h"
#include "reportbox.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QWindow>
#include <algorithm>
#include <cstdio>

namespace frame {

QMessageBox::Icon qtIcon(archive::MessageIcon icon) {
    switch (icon) {
    case archive::MessageIcon::Stop:
        return QMessageBox::Critical;
    case archive::MessageIcon::Question:
        return QMessageBox::Question;
    case archive::MessageIcon::Information:
        return QMessageBox::Information;
    case archive::MessageIcon::Exclamation:
        return QMessageBox::Warning;
    }
    return QMessageBox::NoIcon;
}

namespace {

// One line however many lines the text has.
QString oneLine(const std::string& text) {
    QString line = QString::fromStdString(text);
    line.replace("\r\n", " / ").replace('\n', " / ");
    return line;
}

bool isUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

} // namespace

JobInputFilter::JobInputFilter(QWidget* mainWindow) : m_mainWindow(mainWindow) {}

bool JobInputFilter::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(event->type())) {
        return false;
    }
    if (auto* widget = qobject_cast<QWidget*>(watched)) {
        for (QWidget* up = widget; up != nullptr; up = up->parentWidget()) {
            if (up == m_mainWindow) {
                return true;
            }
        }
        return false;
    }
    if (auto* window = qobject_cast<QWindow*>(watched)) {
        return m_mainWindow != nullptr && window == m_mainWindow->windowHandle();
    }
    return true; // the main window's actions, reached by their shortcuts
}

WindowSeam::WindowSeam(SeamMode mode) : m_mode(mode) {}

void WindowSeam::log(const QString& line) {
    if (m_logger) {
        m_logger(line);
    } else {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

std::optional<size_t> WindowSeam::takeAnswer(const QStringList& buttons, QString& note) {
    if (m_answers.empty()) {
        note = " (unexpected: no answer queued)";
        ++m_unexpected;
        return std::nullopt;
    }
    const QString answer = m_answers.front();
    m_answers.pop_front();
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        if (buttons[i].compare(answer, Qt::CaseInsensitive) == 0) {
            return static_cast<size_t>(i);
        }
    }
    note = " (unexpected: the answer queued was " + answer + ")";
    ++m_unexpected;
    return std::nullopt;
}

archive::MessageAnswer WindowSeam::showMessage(const std::string& message, const std::string& caption,
                                               archive::MessageIcon icon, archive::MessageButtons buttons) {
    const bool withCancel = buttons == archive::MessageButtons::OkCancel;
    // A message names files by their Windows names; it shows the characters they carry.
    const std::string text = platform::shownTextOf(message);
    if (m_mode == SeamMode::Interactive) {
        QMessageBox box(qtIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                        withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                        m_frame != nullptr && m_frame->isVisible() ? m_frame : nullptr);
        box.setDefaultButton(QMessageBox::Ok);
        return box.exec() == QMessageBox::Ok ? archive::MessageAnswer::Ok : archive::MessageAnswer::Cancel;
    }
    archive::MessageAnswer answer = archive::MessageAnswer::Ok;
    QString note;
    if (m_mode == SeamMode::Script && withCancel) {
        const std::optional<size_t> chosen = takeAnswer({"OK", "Cancel"}, note);
        answer = chosen == size_t{0} ? archive::MessageAnswer::Ok : archive::MessageAnswer::Cancel;
    }
    log(QString("box %1|%2|%3 -> %4%5")
            .arg(archive::messageIconName(icon), QString::fromStdString(caption), oneLine(text),
                 answer == archive::MessageAnswer::Ok ? "OK" : "Cancel", note));
    return answer;
}

size_t WindowSeam::askQuestion(const std::string& question, const std::string& caption,
                               const std::vector<std::string>& buttons) {
    const std::string text = platform::shownTextOf(question);
    QStringList texts;
    for (const std::string& button : buttons) {
        texts << QString::fromStdString(button);
    }
    const size_t cancel = buttons.empty() ? 0 : buttons.size() - 1;
    if (m_mode == SeamMode::Interactive) {
        QMessageBox box(QMessageBox::Question, QString::fromStdString(caption), QString::fromStdString(text),
                        QMessageBox::NoButton,
                        m_frame != nullptr && m_frame->isVisible() ? m_frame : nullptr);
        QList<QAbstractButton*> made;
        for (qsizetype i = 0; i < texts.size(); ++i) {
            made << box.addButton(texts[i], static_cast<size_t>(i) == cancel ? QMessageBox::RejectRole
                                                                             : QMessageBox::AcceptRole);
        }
        if (!made.isEmpty()) {
            box.setDefaultButton(qobject_cast<QPushButton*>(made.front()));
            box.setEscapeButton(made.back());
        }
        box.exec();
        const qsizetype chosen = made.indexOf(box.clickedButton());
        return chosen < 0 ? cancel : static_cast<size_t>(chosen);
    }
    // Without a display a question that nobody answers is cancelled.
    size_t answer = cancel;
    QString note;
    if (m_mode == SeamMode::Script) {
        answer = takeAnswer(texts, note).value_or(cancel);
    }
    log(QString("box %1|%2|%3 -> %4%5")
            .arg(archive::messageIconName(archive::MessageIcon::Question), QString::fromStdString(caption),
                 oneLine(text), texts.value(static_cast<qsizetype>(answer)), note));
    return answer;
}

void WindowSeam::showReport(const std::string& text, const std::string& caption, archive::MessageIcon icon,
                            const std::vector<std::string>& lines) {
    m_lastReport = Report{icon, caption, text, lines};
    if (m_mode == SeamMode::Interactive) {
        ReportBox box(qtIcon(icon), QString::fromStdString(caption), QString::fromStdString(text), lines,
                      m_frame != nullptr && m_frame->isVisible() ? m_frame : nullptr);
        box.exec();
        return;
    }
    // Printed as every box is, and then each line of the list on a line of its own.
    log(QString("box %1|%2|%3 -> OK")
            .arg(archive::messageIconName(icon), QString::fromStdString(caption), oneLine(text)));
    for (const std::string& line : lines) {
        log("  " + oneLine(line));
    }
}

std::optional<archive::PasswordAnswer> WindowSeam::askPassword(const archive::PasswordRequest& request) {
    if (m_mode == SeamMode::Interactive) {
        PasswordDialog dialog(request, m_frame != nullptr && m_frame->isVisible() ? m_frame : nullptr);
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.answer();
    }
    // Each field takes the next queued answer; a Cancel, or no answer left, cancels the question.
    std::optional<archive::PasswordAnswer> answer;
    QString note;
    const size_t fields = request.confirm ? 2 : 1;
    if (m_mode == SeamMode::Script && m_passwords.size() >= fields &&
        std::all_of(m_passwords.begin(), m_passwords.begin() + static_cast<long>(fields),
                    [](const std::optional<std::string>& text) { return text.has_value(); })) {
        answer.emplace();
        answer->password = *m_passwords.front();
        m_passwords.pop_front();
        if (request.confirm) {
            answer->confirmation = *m_passwords.front();
            m_passwords.pop_front();
        }
    } else if (m_mode == SeamMode::Script && !m_passwords.empty() && !m_passwords.front()) {
        m_passwords.pop_front();
    } else if (m_mode == SeamMode::Script) {
        note = " (unexpected: no answer queued)";
        ++m_unexpected;
    }
    log(QString("password %1|%2 -> %3%4")
            .arg(QString::fromStdString(request.caption), oneLine(request.text), answer ? "OK" : "Cancel",
                 note));
    return answer;
}

void WindowSeam::setStatusText(const std::string& text) {
    if (m_frame != nullptr) {
        m_frame->setStatusPaneText(0, QString::fromStdString(text));
    }
}

std::string WindowSeam::statusText() const {
    return m_frame != nullptr ? m_frame->statusPaneText(0).toStdString() : std::string();
}

archive::JobRequest WindowSeam::processEventsDuringJob() {
    if (qApp != nullptr) {
        JobInputFilter filter(m_frame);
        qApp->installEventFilter(&filter);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents();
        qApp->removeEventFilter(&filter);
    }
    if (m_closeRequested) {
        m_closeRequested = false;
        return archive::JobRequest::CloseWindow;
    }
    return archive::JobRequest::None;
}

void WindowSeam::closeMainWindowLater() {
    if (m_frame != nullptr) {
        m_frame->closeWhenIdle();
    }
}

void WindowSeam::beginWaitCursor() {
    if (m_waitDepth++ == 0 && qApp != nullptr) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

void WindowSeam::endWaitCursor() {
    if (m_waitDepth > 0 && --m_waitDepth == 0 && qApp != nullptr) {
        QApplication::restoreOverrideCursor();
    }
}

bool WindowSeam::processOnePendingMessage() {
    // What matters is that a status text just set gets painted before a job blocks the thread:
    // paint and other non-input events run; the user's input waits for the job to end.
    if (qApp != nullptr) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    return false;
}

void WindowSeam::setMainWindowEnabled(bool enabled) {
    if (m_frame != nullptr) {
        m_frame->setEnabled(enabled);
    }
}

void WindowSeam::focusMainWindow() {
    if (m_frame != nullptr) {
        m_frame->activateWindow();
        if (QWidget* view = m_frame->activeView()) {
            view->setFocus(Qt::OtherFocusReason);
        }
    }
}

void WindowSeam::repaintMainFrame() {
    if (m_frame != nullptr) {
        m_frame->repaint();
    }
}

void WindowSeam::rebuildArchiveViews() {
    if (m_frame != nullptr) {
        m_frame->treeAt(1)->rebuildRoot();
    }
}

std::unique_ptr<archive::ProgressDialog> WindowSeam::createProgressDialog(const std::string& title) {
    auto hideProgram = [this] {
        // Hide Program: the user may go on with other work; the window comes back disabled.
        if (m_frame != nullptr) {
            m_frame->setEnabled(true);
            m_frame->showMinimized();
        }
    };
    if (m_mode != SeamMode::Interactive) {
        log(QString("progress %1").arg(QString::fromStdString(title)));
    }
    return std::make_unique<ProgressDialog>(m_frame, *this, hideProgram, QString::fromStdString(title));
}

std::optional<std::string> WindowSeam::chooseArchiveFile(const archive::FileDialogRequest& request) {
    if (m_mode != SeamMode::Interactive) {
        std::optional<std::string> chosen;
        if (m_mode == SeamMode::Script && !m_files.empty()) {
            chosen = m_files.front();
            m_files.pop_front();
        }
        log(QString("file dialog %1|%2 -> %3")
                .arg(QString::fromStdString(request.title), QString::fromStdString(request.initialFolder),
                     chosen ? QString::fromStdString(*chosen) : QString("Cancel")));
        return chosen;
    }
    const platform::DriveMap& drives = platform::DriveMap::current();
    QString start;
    if (!request.initialFolder.empty()) {
        if (auto host = drives.toHost(request.initialFolder); host.ok()) {
            start = QString::fromStdString(*host);
        }
    }
    const QString filter = "Zip Files (*.zip)";
    QFileDialog dialog(m_frame, QString::fromStdString(request.title), start, filter);
    dialog.setDefaultSuffix("zip");
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (request.forSaving) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    fitArchiveFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    platform::Result<std::string> windows = drives.toWindows(dialog.selectedFiles().first().toStdString());
    if (!windows.ok()) {
        showMessage("The chosen file is not on any drive letter: " + windows.error().message, "Pellix",
                    archive::MessageIcon::Stop, archive::MessageButtons::Ok);
        return std::nullopt;
    }
    return *windows;
}

} // namespace frame
