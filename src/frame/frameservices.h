#pragma once

#include "commandtarget.h"
#include "sortkey.h"

#include <QStringList>
#include <string>

namespace archive {
class ArchiveEngine;
}
namespace platform {
class DriveMap;
}

namespace frame {

// What the main frame needs of the application object: the settings it shows and changes, the
// archive engine, and the application's own command map, the last stop of the command routing.
class FrameServices : public views::CommandTarget {
public:
    virtual archive::ArchiveEngine& engine() = 0;
    virtual const platform::DriveMap& drives() const = 0;
    virtual std::string scratchDir() const = 0;
    virtual std::string programHostDir() const = 0;

    virtual views::SortKey sortKey() const = 0;
    virtual void setSortKey(views::SortKey key) = 0;
    virtual bool useDriveA() const = 0;
    virtual void setUseDriveA(bool use) = 0;
    virtual int splitterWidth() const = 0;
    virtual int splitterHeight() const = 0;
    // Writes every setting, with the splitter's current sizes, as the frame does when it goes.
    virtual void saveSettings(int splitterWidth, int splitterHeight) = 0;
    // The recent-file list, newest first.
    virtual QStringList recentFiles() const = 0;
};

} // namespace frame
