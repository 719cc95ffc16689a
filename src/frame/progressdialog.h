#pragma once

#include "archivewindow.h"

#include <QDialog>
#include <QPointer>
#include <functional>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace frame {

class ProgressRowModel;

// The progress dialog of an extract, add or delete: the chunk being handed to the archiver, the
// items already done, two count lines and a progress bar, with Cancel and Hide Program. The
// operation drives it; the dialog itself only records a Cancel click and answers the operation's
// cancellation checks.
//
// It is a window of its own rather than a child of the main window: the main window is disabled
// for the whole operation, and a child would be disabled with it. It follows the main window when
// that is minimised and restored, as an owned window does.
class ProgressDialog : public QDialog, public archive::ProgressDialog {
    Q_OBJECT
public:
    // Shows the dialog at once, centred over owner, with the caption title, progress 0 and empty
    // lists. Cancellation is reported through window's message box; hideProgram runs when the
    // user presses Hide Program (it re-enables and minimises the main window).
    ProgressDialog(QWidget* owner, archive::ArchiveWindow& window, std::function<void()> hideProgram,
                   const QString& title);
    ~ProgressDialog() override;

    // archive::ProgressDialog
    void setPosition(int percent) override;
    void addNowProcessing(const archive::ProgressRow& row) override;
    void clearNowProcessing() override;
    void addCompleted(const archive::ProgressRow& row) override;
    void scrollCompletedToEnd() override;
    void setCountTexts(const std::string& fileCount, const std::string& fileSizes) override;
    bool checkCancelled() override;
    bool cancelRequested() const override { return m_cancelRequested; }
    void requestCancel() override { m_cancelRequested = true; }
    void setRateText(const std::string& text) override;

    // What the dialog shows, for tests and the script driver.
    std::vector<archive::ProgressRow> nowProcessingRows() const;
    std::vector<archive::ProgressRow> completedRows() const;
    QString fileCountText() const;
    QString fileSizesText() const;
    QString rateText() const;
    int position() const;
    QPushButton* cancelButton() const { return m_cancelButton; }
    QPushButton* hideProgramButton() const { return m_hideButton; }
    QTreeView* nowProcessingView() const { return m_nowProcessingView; }
    QTreeView* completedView() const { return m_completedView; }

public slots:
    // Escape and a close request from the window manager ask for cancellation like the Cancel
    // button; the operation closes the dialog when it stops.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeView* createList(ProgressRowModel* model);
    void centreOverOwner();
    // Widens the Size and Date Modified columns of both lists where the last row of view's list
    // needs more room, so that no size or date is cut off; the lists and the dialog grow with them.
    void fitColumnsToLastRow(QTreeView* view);

    QPointer<QWidget> m_owner;
    archive::ArchiveWindow& m_window;
    std::function<void()> m_hideProgram;
    bool m_cancelRequested = false;
    bool m_hiddenWithOwner = false;
    ProgressRowModel* m_nowProcessing = nullptr;
    ProgressRowModel* m_completed = nullptr;
    QTreeView* m_nowProcessingView = nullptr;
    QTreeView* m_completedView = nullptr;
    QLabel* m_fileCount = nullptr;
    QLabel* m_fileSizes = nullptr;
    QLabel* m_rate = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_hideButton = nullptr;
    // The longest texts measured so far in the Size and Date Modified columns, in characters:
    // shorter ones need no measuring.
    qsizetype m_longestText[2] = {0, 0};
};

} // namespace frame
