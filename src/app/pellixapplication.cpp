#include "pellixapplication.h"

#include "aboutbox.h"
#include "brenlodoc.h"
#include "commandids.h"
#include "mainframe.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "splash.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QTimer>

namespace app {

using namespace res;

views::SortKey sortKeyFor(const SortFlags& flags) {
    if (flags.name) {
        return views::SortKey::Name;
    }
    if (flags.extension) {
        return views::SortKey::Extension;
    }
    if (flags.fileSize) {
        return views::SortKey::FileSize;
    }
    if (flags.zippedSize) {
        return views::SortKey::ZippedSize;
    }
    if (flags.ratio) {
        return views::SortKey::Ratio;
    }
    if (flags.date) {
        return views::SortKey::Date;
    }
    return views::SortKey::None;
}

std::string sortTypeFor(views::SortKey key) {
    switch (key) {
    case views::SortKey::Name:
        return "1";
    case views::SortKey::Extension:
        return "2";
    case views::SortKey::FileSize:
        return "3";
    case views::SortKey::ZippedSize:
        return "4";
    case views::SortKey::Ratio:
        return "5";
    case views::SortKey::Date:
        return "6";
    case views::SortKey::None:
        break;
    }
    return "";
}

PellixApplication::PellixApplication(platform::Registry& registry, frame::SeamMode mode)
    : m_seam(mode), m_core(registry) {}

PellixApplication::~PellixApplication() {
    // The frame goes first: its destruction writes the settings, which live in the core.
    m_frame.reset();
}

bool PellixApplication::start(const StartupInput& input) {
    frame::SplashWindow splash;
    splash.showNow();
    if (!m_core.initialise(input, m_seam)) {
        return false;
    }
    m_document = std::make_unique<views::CBrenloDoc>(m_core.engine().dragState());
    m_frame = std::make_unique<frame::CMainFrame>(*this, m_seam, *m_document);
    m_seam.attachFrame(m_frame.get());
    m_frame->initialUpdate();
    // The framework opens the named file as its document before the window shows: a missing
    // file ends the start-up, and the frame's going writes the settings as at exit.
    if (!m_core.checkCommandLineFile(m_seam)) {
        m_seam.attachFrame(nullptr);
        m_frame.reset();
        return false;
    }
    if (!m_core.commandLineFile().empty()) {
        m_core.recentFiles().add(m_core.commandLineFile());
    }
    m_frame->showMaximized();
    m_frame->repaint();
    m_frame->setTitleFileName("blank.zip");
    m_core.finishStartup();
    m_frame->listAt(1)->setLabelEditing(false);
    m_frame->treeAt(1)->setLabelEditing(false);
    m_frame->updateCommandUI();
    // Idle processing: whenever the event loop has nothing else to do.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &PellixApplication::onIdle);
    splash.close();
    return true;
}

std::string PellixApplication::programHostDir() const {
    platform::Result<std::string> host = m_core.drives().toHost(m_core.programDir());
    return host.ok() ? *host : std::string();
}

views::SortKey PellixApplication::sortKey() const {
    return sortKeyFor(m_core.sortFlags());
}

void PellixApplication::setSortKey(views::SortKey key) {
    m_core.setSortType(sortTypeFor(key));
}

bool PellixApplication::useDriveA() const {
    return m_core.settingsValue().useDriveA != 0;
}

void PellixApplication::setUseDriveA(bool use) {
    m_core.settings().useDriveA = use ? 1 : 0;
}

int PellixApplication::splitterWidth() const {
    return m_core.settingsValue().splitterWidth;
}

int PellixApplication::splitterHeight() const {
    return m_core.settingsValue().splitterHeight;
}

void PellixApplication::saveSettings(int splitterWidth, int splitterHeight) {
    m_core.settings().splitterWidth = splitterWidth;
    m_core.settings().splitterHeight = splitterHeight;
    m_core.saveSettings(m_seam);
}

QStringList PellixApplication::recentFiles() const {
    QStringList files;
    for (const std::string& file : m_core.recentFilesValue().entries()) {
        files << QString::fromStdString(file);
    }
    return files;
}

void PellixApplication::onIdle() {
    m_core.engine().onIdle();
}

void PellixApplication::selectAll() {
    QWidget* active = m_frame->activeView();
    for (int row = 0; row < 2; ++row) {
        if (active == m_frame->paneAt(row, 0) || active == m_frame->paneAt(row, 1)) {
            m_frame->listAt(row)->selectAll();
        }
    }
}

bool PellixApplication::onCommand(int id) {
    switch (id) {
    case ID_APP_ABOUT: {
        frame::AboutBox about(m_frame.get());
        if (m_seam.mode() == frame::SeamMode::Interactive) {
            about.exec();
        }
        return true;
    }
    case ID_FILE_OPEN:
    case ID_FILE_OPEN_ALT:
        m_core.engine().openCommand();
        return true;
    case ID_FILE_NEW_ARCHIVE:
    case ID_FILE_NEW_ALT:
        m_core.engine().newCommand();
        return true;
    case ID_SORT_BY_CAPTION:
    case ID_SORT_BY_CAPTION_2:
        return true;
    case ID_SET_ZIP_ASSOCIATION:
        m_core.ensureZipAssociation();
        return true;
    case ID_SELECT_ALL:
        selectAll();
        return true;
    case ID_ZIP_FILES:
    case ID_ZIP_FILES_ALT:
        views::CMyListView::runZipCommand(*m_frame);
        return true;
    case ID_UNZIP_FILES:
    case ID_UNZIP_FILES_ALT:
        m_frame->treeAt(0)->unzipIntoTreeFolder();
        return true;
    case ID_FILE_MRU_FILE1:
    case ID_FILE_MRU_FILE2:
    case ID_FILE_MRU_FILE3:
    case ID_FILE_MRU_FILE4: {
        const auto& entries = m_core.recentFilesValue().entries();
        const size_t index = static_cast<size_t>(id - ID_FILE_MRU_FILE1);
        if (index < entries.size()) {
            m_core.engine().OpenArchiveFile(entries[index]);
        }
        return true;
    }
    default:
        return false;
    }
}

bool PellixApplication::onUpdateCommand(int id, views::CommandState& state) {
    switch (id) {
    case ID_SET_ZIP_ASSOCIATION:
        state.enabled = !m_core.engine().state().associated;
        return true;
    case ID_APP_ABOUT:
    case ID_FILE_OPEN:
    case ID_FILE_OPEN_ALT:
    case ID_FILE_NEW_ARCHIVE:
    case ID_FILE_NEW_ALT:
    case ID_SORT_BY_CAPTION:
    case ID_SORT_BY_CAPTION_2:
    case ID_SELECT_ALL:
    case ID_ZIP_FILES:
    case ID_ZIP_FILES_ALT:
    case ID_UNZIP_FILES:
    case ID_UNZIP_FILES_ALT:
    case ID_FILE_MRU_FILE1:
    case ID_FILE_MRU_FILE2:
    case ID_FILE_MRU_FILE3:
    case ID_FILE_MRU_FILE4:
        return true;
    default:
        return false;
    }
}

} // namespace app
