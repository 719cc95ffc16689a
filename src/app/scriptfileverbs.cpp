#include "scriptfileverbs.h"

#include "mainframe.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "popupmenu.h"
#include "scriptinput.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>

namespace app {

namespace {

// "TARGET REST": split at "|" when the line has one (names with blanks), else at the first blank.
std::pair<QString, QString> splitTarget(const QString& rest) {
    const int bar = rest.indexOf('|');
    const int cut = bar >= 0 ? bar : rest.indexOf(' ');
    if (cut < 0) {
        return {rest.trimmed(), QString()};
    }
    return {rest.left(cut).trimmed(), rest.mid(cut + 1).trimmed()};
}

struct Target {
    QAbstractItemView* view = nullptr;
    QPoint point; // viewport coordinates
    bool found = false;
};

// A row of a list by name, an item of a tree by path, or "-" for the empty space below them.
Target findTarget(frame::CMainFrame& frame, int row, int column, const QString& name) {
    Target target;
    if (column == 1) {
        views::CMyListView* list = frame.listAt(row);
        target.view = list;
        if (name == "-") {
            target.point = QPoint(4, list->viewport()->height() - 2);
            target.found = !list->indexAt(target.point).isValid();
            return target;
        }
        const int index = list->rowNamed(name);
        if (index >= 0) {
            const QModelIndex cell = list->model()->index(index, 0);
            list->scrollTo(cell);
            target.point = list->visualRect(cell).center();
            target.found = true;
        }
        return target;
    }
    views::CMyTreeView* tree = frame.treeAt(row);
    target.view = tree;
    if (name == "-") {
        target.point = QPoint(4, tree->viewport()->height() - 2);
        target.found = tree->itemAt(target.point) == nullptr;
        return target;
    }
    if (QTreeWidgetItem* item = tree->revealItem(name)) {
        tree->scrollToItem(item);
        target.point = tree->visualItemRect(item).center();
        target.found = true;
    }
    return target;
}

QWidget* openEditor(frame::CMainFrame& frame, int row, int column) {
    return column == 1 ? frame.listAt(row)->labelEditor() : frame.treeAt(row)->labelEditor();
}

// The label of the row or item whose editor is open, whatever has been typed into it.
QString editedLabel(QWidget* editor) {
    auto* view = editor != nullptr && editor->parentWidget() != nullptr
                     ? qobject_cast<QAbstractItemView*>(editor->parentWidget()->parentWidget())
                     : nullptr;
    if (view == nullptr) {
        return {};
    }
    return view->indexAt(editor->geometry().center()).data(Qt::DisplayRole).toString();
}

} // namespace

FileVerbResult runFileVerb(frame::CMainFrame& frame, const QString& verb, int row, int column,
                           const QString& rest, const std::function<void(const QString&)>& print) {
    auto fail = [&print, &verb, &rest](const QString& why) {
        print("error: " + why + ": " + verb + " " + rest);
        return FileVerbResult{true, false};
    };
    const FileVerbResult done{true, true};

    if (verb == "editing") {
        QWidget* editor = openEditor(frame, row, column);
        print("editing: " + (editor != nullptr ? editedLabel(editor) : QString("none")));
        return done;
    }
    if (verb == "menu") {
        const auto [name, entry] = splitTarget(rest);
        const Target target = findTarget(frame, row, column, name);
        if (!target.found) {
            return fail("no such row or item");
        }
        bool shown = false;
        QString problem;
        views::setPopupChooser([&](QMenu& menu) -> QAction* {
            shown = true;
            QStringList entries;
            for (QAction* item : menu.actions()) {
                entries << (item->isSeparator()
                                ? QString("-")
                                : item->text().remove('&') + (item->isEnabled() ? "" : " (grayed)"));
            }
            print("menu: " + entries.join(", "));
            if (entry.isEmpty() || entry == "none") {
                return nullptr;
            }
            QAction* chosen = views::menuEntry(menu, entry);
            if (chosen == nullptr) {
                problem = "no such entry";
            } else if (!chosen->isEnabled()) {
                problem = "the entry is grayed";
                chosen = nullptr;
            }
            return chosen;
        });
        frame.setActiveView(target.view);
        QContextMenuEvent event(QContextMenuEvent::Mouse, target.point,
                                target.view->viewport()->mapToGlobal(target.point));
        QApplication::sendEvent(target.view->viewport(), &event);
        views::setPopupChooser(nullptr);
        if (!shown) {
            print("menu: none");
        }
        return problem.isEmpty() ? done : fail(problem);
    }
    if (verb == "rename") {
        const auto [name, newName] = splitTarget(rest);
        QWidget* editor = openEditor(frame, row, column);
        // A tree item is named by its path, its editor shows the last folder of it.
        QString label = name;
        while (column == 0 && (label.endsWith('\\') || label.endsWith('/'))) {
            label.chop(1);
        }
        label =
            column == 0 ? label.mid(std::max(label.lastIndexOf('\\'), label.lastIndexOf('/')) + 1) : label;
        if (editor == nullptr || editedLabel(editor) != label) {
            if (editor != nullptr) {
                return fail("another label is being edited");
            }
            const Target target = findTarget(frame, row, column, name);
            if (!target.found || name == "-") {
                return fail("no such row or item");
            }
            frame.setActiveView(target.view);
            if (column == 1) {
                views::CMyListView* list = frame.listAt(row);
                list->editRowLabel(list->rowNamed(name));
            } else {
                views::CMyTreeView* tree = frame.treeAt(row);
                tree->setCurrentItem(tree->findItem(name));
                tree->editItemLabel(tree->currentItem());
            }
            editor = openEditor(frame, row, column);
            if (editor == nullptr) {
                return fail("the label cannot be edited");
            }
        }
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (line == nullptr) {
            return fail("the editor takes no text");
        }
        // As the user types the name and presses Enter; an empty name is the user's Escape.
        if (newName.isEmpty()) {
            ScriptInput::pressKey(line, Qt::Key_Escape);
        } else {
            line->selectAll();
            ScriptInput::typeText(line, newName);
            ScriptInput::pressKey(line, Qt::Key_Return);
        }
        QCoreApplication::processEvents();
        return done;
    }
    return FileVerbResult{};
}

} // namespace app
