#pragma once

#include "archiveengine.h"
#include "brenlodoc.h"
#include "fakewindow.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "recentfiles.h"
#include "treelines.h"
#include "viewhost.h"

#include <QStringList>
#include <QWidget>
#include <memory>

namespace testsupport {

// The frame and the application as the four views see them: panes, status bar, title, sort
// setting and a real archive engine whose state a test fills in directly.
class FakeHost : public views::ViewHost {
public:
    FakeHost();
    ~FakeHost() override;

    // Creates the four panes in the frame's order (local tree, local list, archive tree, archive
    // list), gives each its initial update in that order, and shows them.
    void createPanes();

    views::CMyTreeView* treeAt(int row) override { return trees[row]; }
    views::CMyListView* listAt(int row) override { return lists[row]; }
    QWidget* paneAt(int row, int column) const override;
    views::CBrenloDoc& document() override { return *doc; }
    void setActiveView(QWidget* view) override;
    void setStatusPaneText(int pane, const QString& text) override;
    void setTitleFileName(const QString& fileName) override { title = fileName; }
    archive::ArchiveWindow& window() override { return fakeWindow; }
    archive::ArchiveEngine& engine() override { return *archiveEngine; }
    const platform::DriveMap& drives() const override { return platform::DriveMap::current(); }
    std::string scratchDir() const override { return "C:\\Program\\"; }
    views::SortKey sortKey() const override { return key; }
    void setSortKey(views::SortKey newKey) override { key = newKey; }
    bool resortInProgress() const override { return resorting; }
    void resort() override;
    bool useDriveA() const override { return false; }

    // Lists the archive listing text as the engine would after opening an archive.
    void openListing(const std::string& listing, const std::string& archivePath, const std::string& fileName);

    FakeWindow fakeWindow;
    archive::JobFiles files;
    std::string lastFolder;
    std::int32_t includePathInfo = 0;
    archive::RecentFileList recent;
    std::unique_ptr<archive::ArchiveEngine> archiveEngine;
    std::unique_ptr<views::CBrenloDoc> doc;
    QWidget container;
    views::CMyTreeView* trees[2] = {nullptr, nullptr};
    views::CMyListView* lists[2] = {nullptr, nullptr};
    QString status[3];
    QStringList statusHistory; // every text of pane 0, in order
    QString title;
    QWidget* activeView = nullptr;
    views::SortKey key = views::SortKey::Name;
    bool resorting = false;
};

using views::treeLines;

} // namespace testsupport
