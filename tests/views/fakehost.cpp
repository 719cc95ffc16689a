#include "fakehost.h"

#include "archivelisting.h"

#include <QGridLayout>

namespace testsupport {

FakeHost::FakeHost() {
    archiveEngine =
        std::make_unique<archive::ArchiveEngine>(files, fakeWindow, lastFolder, includePathInfo, recent);
    archive::ArchiveState& state = archiveEngine->state();
    state.archivePath = scratchDir() + "blank.zip";
    state.archiveFileName = "blank.zip";
    doc = std::make_unique<views::CBrenloDoc>(archiveEngine->dragState());
}

FakeHost::~FakeHost() {
    // Hiding the panes ends an edit still open, which reports to this host: do it while the
    // host is whole.
    container.hide();
}

void FakeHost::createPanes() {
    auto* grid = new QGridLayout(&container);
    trees[0] = new views::CMyTreeView(*this, *doc, &container);
    lists[0] = new views::CMyListView(*this, *doc, &container);
    trees[1] = new views::CMyTreeView(*this, *doc, &container);
    lists[1] = new views::CMyListView(*this, *doc, &container);
    grid->addWidget(trees[0], 0, 0);
    grid->addWidget(lists[0], 0, 1);
    grid->addWidget(trees[1], 1, 0);
    grid->addWidget(lists[1], 1, 1);
    trees[0]->initialUpdate();
    lists[0]->initialUpdate();
    trees[1]->initialUpdate();
    lists[1]->initialUpdate();
    container.resize(900, 600);
    container.show();
}

QWidget* FakeHost::paneAt(int row, int column) const {
    return column == 0 ? static_cast<QWidget*>(trees[row]) : static_cast<QWidget*>(lists[row]);
}

void FakeHost::setActiveView(QWidget* view) {
    activeView = view;
    view->setFocus();
}

void FakeHost::setStatusPaneText(int pane, const QString& text) {
    status[pane] = text;
    if (pane == 0) {
        statusHistory.push_back(text);
    }
}

void FakeHost::resort() {
    resorting = true;
    lists[0]->fill(QString());
    lists[1]->fill(QString());
    resorting = false;
}

void FakeHost::openListing(const std::string& listing, const std::string& archivePath,
                           const std::string& fileName) {
    archive::ArchiveState& state = archiveEngine->state();
    state.entries.clear();
    state.folders.clear();
    archive::parseListing(listing, state.entries, state.folders);
    state.archivePath = archivePath;
    state.archiveFileName = fileName;
    state.archiveJustOpened = true;
    trees[1]->rebuildRoot();
    state.archiveJustOpened = false;
}

} // namespace testsupport
