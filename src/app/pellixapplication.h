#pragma once

#include "brenloapp.h"
#include "frameservices.h"
#include "windowseam.h"

#include <QObject>
#include <QStringList>
#include <memory>

namespace views {
class CBrenloDoc;
}
namespace frame {
class CMainFrame;
class SplashWindow;
} // namespace frame

namespace app {

// The running program with its window: the application object's start-up with the splash window,
// the document and the main frame, the application's command map (About, Open, New, the .zip
// association, Select All, the recent archives) and its idle processing.
class PellixApplication : public QObject, public frame::FrameServices {
    Q_OBJECT
public:
    PellixApplication(platform::Registry& registry, frame::SeamMode mode);
    ~PellixApplication() override;

    // The whole start-up; false (after its message) when the program cannot start.
    bool start(const StartupInput& input);

    CBrenloApp& core() { return m_core; }
    frame::WindowSeam& seam() { return m_seam; }
    frame::CMainFrame* mainFrame() const { return m_frame.get(); }
    views::CBrenloDoc* document() const { return m_document.get(); }

    // frame::FrameServices
    archive::ArchiveEngine& engine() override { return m_core.engine(); }
    const platform::DriveMap& drives() const override { return m_core.drives(); }
    std::string scratchDir() const override { return m_core.scratchDir(); }
    std::string programHostDir() const override;
    views::SortKey sortKey() const override;
    void setSortKey(views::SortKey key) override;
    bool useDriveA() const override;
    void setUseDriveA(bool use) override;
    int splitterWidth() const override;
    int splitterHeight() const override;
    void saveSettings(int splitterWidth, int splitterHeight) override;
    QStringList recentFiles() const override;

    // views::CommandTarget: the application's command map.
    bool onCommand(int id) override;
    bool onUpdateCommand(int id, views::CommandState& state) override;

private:
    void selectAll();
    void onIdle();

    frame::WindowSeam m_seam;
    CBrenloApp m_core;
    std::unique_ptr<views::CBrenloDoc> m_document;
    std::unique_ptr<frame::CMainFrame> m_frame;
};

views::SortKey sortKeyFor(const SortFlags& flags);
std::string sortTypeFor(views::SortKey key);

} // namespace app
