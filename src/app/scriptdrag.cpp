#include "scriptdrag.h"

#include "brenlodoc.h"
#include "fourpanes.h"
#include "mainframe.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "scriptinput.h"

#include <QApplication>
#include <QEventLoop>
#include <QMimeData>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <optional>

namespace app {

namespace {

// Pixels per step of the pointer: small enough that every pane border is crossed by a move that
// lands just beyond it.
constexpr int kStep = 4;

const char* const kPaneNames[] = {"local-tree", "local-list", "archive-tree", "archive-list"};

QAbstractScrollArea* paneNamed(frame::CMainFrame& frame, const QString& name) {
    for (int index = 0; index < 4; ++index) {
        if (name == kPaneNames[index]) {
            const int row = index / 2;
            return index % 2 == 0 ? static_cast<QAbstractScrollArea*>(frame.treeAt(row))
                                  : static_cast<QAbstractScrollArea*>(frame.listAt(row));
        }
    }
    return nullptr;
}

// A point on the icon of a row or item, in global coordinates.
QPoint onIcon(QAbstractScrollArea* pane, const QRect& cell) {
    return pane->viewport()->mapToGlobal(QPoint(cell.left() + 10, cell.center().y()));
}

// Below the last row, or nothing when the rows fill the pane.
std::optional<QPoint> emptySpace(QAbstractItemView* pane) {
    const QPoint local(10, pane->viewport()->height() - 4);
    if (pane->indexAt(local).isValid()) {
        return std::nullopt;
    }
    return pane->viewport()->mapToGlobal(local);
}

std::optional<QPoint> rowPoint(views::CMyListView* list, const QString& name) {
    if (name == "-") {
        return emptySpace(list);
    }
    for (int row = 0; row < list->rowCount(); ++row) {
        if (list->rowTexts(row).value(0) == name) {
            const QModelIndex index = list->model()->index(row, 0);
            list->scrollTo(index);
            return onIcon(list, list->visualRect(index));
        }
    }
    return std::nullopt;
}

std::optional<QPoint> itemPoint(views::CMyTreeView* tree, const QString& path) {
    if (path == "-") {
        return emptySpace(tree);
    }
    QTreeWidgetItem* item = tree->revealItem(path);
    if (item == nullptr) {
        return std::nullopt;
    }
    tree->scrollToItem(item);
    return onIcon(tree, tree->visualItemRect(item));
}

std::optional<QPoint> targetPoint(QAbstractScrollArea* pane, const QString& target) {
    if (auto* list = qobject_cast<views::CMyListView*>(pane)) {
        return rowPoint(list, target);
    }
    return itemPoint(qobject_cast<views::CMyTreeView*>(pane), target);
}

// Moves the pointer from at to to in small steps, with the button held, through the widget that
// got the press.
void moveAlong(ScriptInput& input, QWidget* pressed, QPoint& at, const QPoint& to) {
    const QPoint delta = to - at;
    const int steps = std::max(1, std::max(std::abs(delta.x()), std::abs(delta.y())) / kStep);
    for (int step = 1; step <= steps; ++step) {
        input.moveMouse(pressed, pressed->mapFromGlobal(at + delta * step / steps));
    }
    at = to;
}

// Copies a file or a folder with everything in it into folder, keeping the permissions.
bool copyInto(const QString& path, const QString& folder) {
    namespace fs = std::filesystem;
    const fs::path from(path.toStdString());
    std::error_code error;
    fs::copy(from, fs::path(folder.toStdString()) / from.filename(),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
    return !error;
}

} // namespace

void handDesktopToScript(views::DesktopHandOver& desktop, const QString& hostFolder,
                         const std::function<void(const QString&)>& print) {
    desktop.open = [hostFolder, print](const QString& hostPath) {
        print("desktop open: " + hostPath);
        return copyInto(hostPath, hostFolder);
    };
    desktop.drag = [hostFolder, print](QWidget*, QMimeData* data) {
        QStringList paths;
        for (const QUrl& url : data->urls()) {
            paths << url.toLocalFile();
            if (!copyInto(url.toLocalFile(), hostFolder)) {
                print("desktop cannot copy " + url.toLocalFile());
            }
        }
        delete data;
        print("desktop drag: " + paths.join('|'));
    };
    desktop.buttonHeld = [] { return ScriptInput::heldButtons().testFlag(Qt::LeftButton); };
}

bool runDragVerb(frame::CMainFrame& frame, const QString& fromPane, const QString& rest,
                 const std::function<void(const QString&)>& print, QString* why) {
    static const QRegularExpression shape("^(.+?)((?:\\s+over\\s+\\S+)*)\\s+to\\s+(?:outside|(local-tree|"
                                          "local-list|archive-tree|archive-list)\\s+(.+))$");
    const QRegularExpressionMatch parts = shape.match(rest);
    QAbstractScrollArea* source = paneNamed(frame, fromPane);
    if (!parts.hasMatch() || source == nullptr) {
        *why = "drag takes FROM-PANE SOURCE [over PANE ...] to PANE TARGET (or to outside)";
        return false;
    }
    QList<QAbstractScrollArea*> path;
    for (const QString& word : parts.captured(2).split(' ', Qt::SkipEmptyParts)) {
        if (word == "over") {
            continue;
        }
        QAbstractScrollArea* pane = paneNamed(frame, word);
        if (pane == nullptr) {
            *why = "unknown pane " + word;
            return false;
        }
        path.push_back(pane);
    }
    QAbstractScrollArea* targetPane = paneNamed(frame, parts.captured(3));
    const QString sourceText = parts.captured(1).trimmed();
    QString targetText = parts.captured(4).trimmed();
    const bool held = targetText.endsWith(" held");
    if (held) {
        targetText.chop(5);
    }

    std::optional<QPoint> start;
    if (auto* list = qobject_cast<views::CMyListView*>(source)) {
        if (!sourceText.startsWith("rows ")) {
            *why = "a list's source is rows NAME|NAME...";
            return false;
        }
        QStringList names;
        for (const QString& name : sourceText.mid(5).split('|')) {
            names << name.trimmed();
        }
        if (!list->selectRowsByName(names)) {
            *why = "no row of that name";
            return false;
        }
        start = rowPoint(list, list->selectedNames().value(0));
    } else {
        start = itemPoint(qobject_cast<views::CMyTreeView*>(source), sourceText);
    }
    if (!start) {
        *why = "no such source";
        return false;
    }

    QWidget* pressed = source->viewport();
    QPoint at = *start;
    ScriptInput input;
    input.pressMouse(pressed, pressed->mapFromGlobal(at));
    // Looked for only now: a press in a tree has the list beside it show the pressed folder.
    const std::optional<QPoint> end =
        targetPane == nullptr
            ? std::optional<QPoint>(QPoint(at.x(), frame.mapToGlobal(QPoint(0, frame.height())).y() + 20))
            : targetPoint(targetPane, targetText);
    if (!end) {
        // A click, not a drag: nothing is dropped anywhere.
        input.releaseMouse(pressed, pressed->mapFromGlobal(at));
        *why = "no such target";
        return false;
    }
    // Far enough along the row for the press to become a drag.
    moveAlong(input, pressed, at, at + QPoint(QApplication::startDragDistance() + 2, 0));
    for (QAbstractScrollArea* pane : path) {
        moveAlong(input, pressed, at, pane->viewport()->mapToGlobal(pane->viewport()->rect().center()));
    }
    moveAlong(input, pressed, at, *end);
    const QCursor* cursor = QApplication::overrideCursor();
    print(QString("drag cursor: ") +
          (cursor != nullptr && cursor->shape() == Qt::ForbiddenCursor ? "forbidden" : "arrow"));
    if (!held) {
        input.releaseMouse(pressed, pressed->mapFromGlobal(at));
    }
    return true;
}

bool runWhereVerb(frame::CMainFrame& frame, const QString& pane, const QString& target,
                  const std::function<void(const QString&)>& print, QString* why) {
    QAbstractScrollArea* area = paneNamed(frame, pane);
    if (area == nullptr) {
        *why = "unknown pane";
        return false;
    }
    const std::optional<QPoint> point = targetPoint(area, target);
    if (!point) {
        *why = "no such row or item";
        return false;
    }
    print(QString("where: %1 %2").arg(point->x()).arg(point->y()));
    return true;
}

bool runIdleVerb(frame::CMainFrame& frame, const QString& milliseconds, QString* why) {
    bool numeric = false;
    const int duration = milliseconds.toInt(&numeric);
    if (!numeric || duration < 0) {
        *why = "idle takes milliseconds";
        return false;
    }
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (!frame.isVisible()) {
            loop.quit();
        }
    });
    watch.start(50);
    loop.exec();
    return true;
}

} // namespace app
