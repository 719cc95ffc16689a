#include "archivefiledialog.h"

#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <algorithm>

namespace frame {

namespace {

enum Column { NameColumn, SizeColumn, TypeColumn, DateColumn };

// What the dialog's list shows at its widest in the Size and Date Modified columns: sizes as the
// file system model writes them, dates in the locale's short form with two-digit fields.
QString widestSize() {
    return QLocale::system().formattedDataSize(999'990'000'000LL);
}

QString widestDate() {
    return QLocale::system().toString(QDateTime(QDate(2000, 12, 28), QTime(22, 58)), QLocale::ShortFormat);
}

// Widens the dialog, as it is first shown, by what its list lacks to show every column whole.
class WidenWhenShown : public QObject {
public:
    WidenWhenShown(QFileDialog& dialog, QTreeView& files)
        : QObject(&dialog), m_dialog(dialog), m_files(files) {
        dialog.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_dialog && event->type() == QEvent::Show) {
            m_dialog.removeEventFilter(this);
            const int lacking = m_files.header()->length() - m_files.viewport()->width();
            int width = m_dialog.width() + std::max(0, lacking);
            int height = m_dialog.height();
            if (const QScreen* screen = m_dialog.screen()) {
                const QRect available = screen->availableGeometry();
                width = std::min(width, available.width() * 9 / 10);
                height =
                    std::clamp(height, std::min(available.height() / 2, 480), available.height() * 9 / 10);
            }
            m_dialog.resize(width, height);
            deleteLater();
        }
        return false;
    }

private:
    QFileDialog& m_dialog;
    QTreeView& m_files;
};

} // namespace

void fitArchiveFileDialog(QFileDialog& dialog) {
    dialog.setViewMode(QFileDialog::Detail);
    auto* files = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (files == nullptr) {
        return;
    }
    QHeaderView* header = files->header();
    const QFontMetrics metrics(files->font());
    // The room a cell takes around its text (the item's margins and the focus frame).
    const int padding =
        2 * (files->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, files) + 1) + 8;
    const int wanted[] = {metrics.horizontalAdvance(QLatin1Char('x')) * 32,
                          metrics.horizontalAdvance(widestSize()) + padding,
                          metrics.horizontalAdvance(QStringLiteral("Folder")) + padding,
                          metrics.horizontalAdvance(widestDate()) + padding};
    for (int column = NameColumn; column <= DateColumn && column < header->count(); ++column) {
        const int width =
            std::max({header->sectionSize(column), header->sectionSizeHint(column), wanted[column]});
        header->resizeSection(column, width);
    }
    // The list gets what the side bar and the frames leave of the dialog, known once it is laid
    // out for showing: then the dialog grows by what the list lacks.
    new WidenWhenShown(dialog, *files);
}

} // namespace frame
