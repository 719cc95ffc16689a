#pragma once

#include "archivestate.h"
#include "drivemap.h"

#include <string>

namespace archive {

// What the archiver said, with the files named as the user knows them. The archiver works through
// hidden side files beside the file it changes (".NAME.pellix-new", ".NAME.pellix-journal",
// ".NAME.pellix-part"), which are named as NAME itself; the open archive's host path is named by
// the Windows path the user chose, and the scratch archive, wherever it lives, is "blank.zip".
std::string withNamesTheUserKnows(std::string text, const ArchiveState& state,
                                  const platform::DriveMap& drives);

} // namespace archive
