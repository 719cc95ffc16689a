#include "progressdialog.h"

#include "dialogunits.h"
#include "texts.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

namespace frame {

namespace {

enum Column { NameColumn, SizeColumn, DateColumn, ColumnCount };

// The pixel widths of the columns Name, Size and Date Modified of both lists.
constexpr int kColumnWidths[ColumnCount] = {400, 70, 130};

// Sizes from the dialog's layout, in dialog units.
constexpr int kListWidth = 417;
constexpr int kListHeight = 105;
constexpr int kFileCountWidth = 161;
constexpr int kFileSizesWidth = 127;
constexpr int kButtonWidth = 58;
constexpr int kButtonHeight = 14;

QString toQString(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

// The rows of one of the dialog's two lists. A model rather than one widget item per row, since
// "Files Completed" of a large add collects every file of the operation.
class ProgressRowModel : public QAbstractTableModel {
public:
    explicit ProgressRowModel(QObject* parent) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : ColumnCount;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) {
            return {};
        }
        const archive::ProgressRow& row = m_rows[static_cast<size_t>(index.row())];
        if (role == Qt::DisplayRole) {
            switch (index.column()) {
            case NameColumn:
                return toQString(row.name);
            case SizeColumn:
                return toQString(row.sizeText);
            case DateColumn:
                return toQString(row.dateText);
            default:
                return {};
            }
        }
        if (role == Qt::TextAlignmentRole) {
            return alignment(index.column());
        }
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal) {
            return {};
        }
        if (role == Qt::DisplayRole) {
            switch (section) {
            case NameColumn:
                return QString::fromUtf8(res::kColumnName);
            case SizeColumn:
                return QString::fromUtf8(res::kColumnSize);
            case DateColumn:
                return QString::fromUtf8(res::kColumnDateModified);
            default:
                return {};
            }
        }
        if (role == Qt::TextAlignmentRole) {
            return alignment(section);
        }
        return {};
    }

    void append(const archive::ProgressRow& row) {
        const int at = rowCount();
        beginInsertRows({}, at, at);
        m_rows.push_back(row);
        endInsertRows();
    }

    void clear() {
        beginResetModel();
        m_rows.clear();
        endResetModel();
    }

    const std::vector<archive::ProgressRow>& rows() const { return m_rows; }

private:
    static QVariant alignment(int column) {
        const Qt::Alignment horizontal = column == SizeColumn ? Qt::AlignRight : Qt::AlignLeft;
        return QVariant::fromValue(horizontal | Qt::AlignVCenter);
    }

    std::vector<archive::ProgressRow> m_rows;
};

ProgressDialog::ProgressDialog(QWidget* owner, archive::ArchiveWindow& window,
                               std::function<void()> hideProgram, const QString& title)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_owner(owner),
      m_window(window), m_hideProgram(std::move(hideProgram)) {
    setWindowTitle(title);
    setWindowModality(Qt::NonModal);
    setWindowIcon(owner != nullptr ? owner->windowIcon() : QIcon());

    const DialogUnits units(fontMetrics());
    m_nowProcessing = new ProgressRowModel(this);
    m_completed = new ProgressRowModel(this);
    m_nowProcessingView = createList(m_nowProcessing);
    m_completedView = createList(m_completed);

    m_fileCount = new QLabel(this);
    m_fileCount->setMinimumWidth(units.x(kFileCountWidth));
    m_fileSizes = new QLabel(this);
    m_fileSizes->setMinimumWidth(units.x(kFileSizesWidth));

    // The speed and the time left of a chunk that runs long, under the bar at its right end.
    m_rate = new QLabel(this);
    m_rate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);

    m_cancelButton = new QPushButton(QString::fromUtf8(res::kProgressCancel), this);
    m_hideButton = new QPushButton(QString::fromUtf8(res::kProgressHideProgram), this);
    for (QPushButton* button : {m_cancelButton, m_hideButton}) {
        // Enter must not press a button that happens to have the focus: only a deliberate click,
        // Space on the button or its mnemonic acts.
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setMinimumSize(units.x(kButtonWidth), units.y(kButtonHeight));
    }
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { requestCancel(); });
    connect(m_hideButton, &QPushButton::clicked, this, [this] {
        if (m_hideProgram) {
            m_hideProgram();
        }
    });

    auto* counts = new QHBoxLayout;
    counts->addWidget(new QLabel(QString::fromUtf8(res::kFileCountLabel), this));
    counts->addWidget(m_fileCount, 1);
    counts->addSpacing(units.x(8));
    counts->addWidget(new QLabel(QString::fromUtf8(res::kFileSizesLabel), this));
    counts->addWidget(m_fileSizes, 1);

    // The buttons sit under the first and the last third of the dialog.
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(60);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch(181);
    buttons->addWidget(m_hideButton);
    buttons->addStretch(61);

    auto heading = [this](const char* text) {
        auto* label = new QLabel(QString::fromUtf8(text), this);
        label->setAlignment(Qt::AlignHCenter);
        return label;
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(units.x(2), units.y(2), units.x(2), units.y(2));
    layout->setSpacing(units.y(2));
    layout->addWidget(heading(res::kNowProcessing));
    layout->addWidget(m_nowProcessingView, 1);
    layout->addLayout(counts);
    layout->addWidget(m_progress);
    layout->addWidget(m_rate);
    layout->addWidget(heading(res::kFilesCompleted));
    layout->addWidget(m_completedView, 1);
    layout->addLayout(buttons);

    const int listWidth = std::max(units.x(kListWidth), m_nowProcessingView->minimumWidth());
    resize(listWidth + layout->contentsMargins().left() + layout->contentsMargins().right(),
           sizeHint().height());

    if (m_owner != nullptr) {
        // Owned by the main window for the window manager (kept above it, minimised with it),
        // without being its child.
        QWidget* ownerWindow = m_owner->window();
        ownerWindow->installEventFilter(this);
        winId();
        if (ownerWindow->windowHandle() != nullptr && windowHandle() != nullptr) {
            windowHandle()->setTransientParent(ownerWindow->windowHandle());
        }
    }
    centreOverOwner();
    show();
    raise();
}

ProgressDialog::~ProgressDialog() {
    if (m_owner != nullptr) {
        m_owner->window()->removeEventFilter(this);
    }
}

QTreeView* ProgressDialog::createList(ProgressRowModel* model) {
    auto* view = new QTreeView(this);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setWordWrap(false);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setFocusPolicy(Qt::NoFocus);
    view->header()->setSectionsMovable(false);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionResizeMode(QHeaderView::Interactive);
    int columnsWidth = 0;
    for (int column = 0; column < ColumnCount; ++column) {
        view->header()->resizeSection(column, kColumnWidths[column]);
        columnsWidth += kColumnWidths[column];
    }
    const DialogUnits units(fontMetrics());
    // Wide enough for the three columns beside a vertical scroll bar.
    const int frame = 2 * view->frameWidth();
    view->setMinimumWidth(columnsWidth + view->verticalScrollBar()->sizeHint().width() + frame);
    view->setMinimumHeight(units.y(kListHeight));
    return view;
}

void ProgressDialog::centreOverOwner() {
    // The window areas inside the frames are centred on each other; the frames of the two windows
    // are alike, and the dialog's own frame is not known before it is shown.
    QRect area;
    QScreen* screen = this->screen();
    if (m_owner != nullptr) {
        area = m_owner->window()->geometry();
        screen = m_owner->window()->screen();
    } else if (screen != nullptr) {
        area = screen->availableGeometry();
    }
    if (!area.isValid()) {
        return;
    }
    QRect placed(QPoint(0, 0), size());
    placed.moveCenter(area.center());
    // Over an owner larger than the screen, keep the title bar reachable.
    if (screen != nullptr) {
        const QRect available = screen->availableGeometry();
        placed.moveLeft(std::clamp(placed.left(), available.left(),
                                   std::max(available.left(), available.right() - placed.width())));
        placed.moveTop(std::clamp(placed.top(), available.top(),
                                  std::max(available.top(), available.bottom() - placed.height())));
    }
    setGeometry(placed);
}

void ProgressDialog::setPosition(int percent) {
    // A value outside the range would leave the bar where it was.
    m_progress->setValue(std::clamp(percent, 0, 100));
}

void ProgressDialog::addNowProcessing(const archive::ProgressRow& row) {
    m_nowProcessing->append(row);
    fitColumnsToLastRow(m_nowProcessingView);
}

void ProgressDialog::clearNowProcessing() {
    m_nowProcessing->clear();
}

void ProgressDialog::addCompleted(const archive::ProgressRow& row) {
    m_completed->append(row);
    fitColumnsToLastRow(m_completedView);
}

void ProgressDialog::fitColumnsToLastRow(QTreeView* view) {
    const QAbstractItemModel* model = view->model();
    const int row = model->rowCount() - 1;
    bool widened = false;
    for (int column : {SizeColumn, DateColumn}) {
        const QModelIndex index = model->index(row, column);
        const qsizetype length = index.data().toString().size();
        qsizetype& longest = m_longestText[column == SizeColumn ? 0 : 1];
        if (length < longest) {
            continue;
        }
        longest = length;
        const int needed = view->sizeHintForIndex(index).width();
        for (QTreeView* list : {m_nowProcessingView, m_completedView}) {
            if (needed > list->header()->sectionSize(column)) {
                list->header()->resizeSection(column, needed);
                widened = true;
            }
        }
    }
    if (widened) {
        for (QTreeView* list : {m_nowProcessingView, m_completedView}) {
            list->setMinimumWidth(list->header()->length() + list->verticalScrollBar()->sizeHint().width() +
                                  2 * list->frameWidth());
        }
    }
}

void ProgressDialog::scrollCompletedToEnd() {
    m_completedView->scrollToBottom();
}

void ProgressDialog::setCountTexts(const std::string& fileCount, const std::string& fileSizes) {
    m_fileCount->setText(toQString(fileCount));
    m_fileSizes->setText(toQString(fileSizes));
}

bool ProgressDialog::checkCancelled() {
    // The clicks and keys that arrived while the archiver ran are still queued: handle them all
    // first, so that a Cancel made during a job is seen by the check that follows it.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
    if (!m_cancelRequested) {
        return false;
    }
    m_window.showMessage(res::kProcessCancelled, res::kProcessCancelledCaption, archive::MessageIcon::Stop,
                         archive::MessageButtons::Ok);
    return true;
}

void ProgressDialog::setRateText(const std::string& text) {
    m_rate->setText(toQString(text));
}

std::vector<archive::ProgressRow> ProgressDialog::nowProcessingRows() const {
    return m_nowProcessing->rows();
}

std::vector<archive::ProgressRow> ProgressDialog::completedRows() const {
    return m_completed->rows();
}

QString ProgressDialog::fileCountText() const {
    return m_fileCount->text();
}

QString ProgressDialog::fileSizesText() const {
    return m_fileSizes->text();
}

QString ProgressDialog::rateText() const {
    return m_rate->text();
}

int ProgressDialog::position() const {
    return m_progress->value();
}

void ProgressDialog::reject() {
    requestCancel();
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    requestCancel();
}

bool ProgressDialog::eventFilter(QObject* watched, QEvent* event) {
    if (m_owner != nullptr && watched == m_owner->window() && event->type() == QEvent::WindowStateChange) {
        QWidget* ownerWindow = m_owner->window();
        if (ownerWindow->isMinimized()) {
            if (isVisible()) {
                m_hiddenWithOwner = true;
                hide();
            }
        } else if (m_hiddenWithOwner) {
            m_hiddenWithOwner = false;
            show();
            raise();
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace frame
