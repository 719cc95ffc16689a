#pragma once

#include "decryption.h"
#include "guard.h"
#include "writer.h"
#include "zipformat.h"

#include <string>
#include <vector>

namespace pkzip {

// -test: reads each named member through the extraction pipeline (its place in the archive, the
// decryption, its method's decoder, the size and CRC check) into a sink that keeps nothing, so
// that every member an extraction would write is known to come out whole, and no file is written.
// Each member that does not is reported in problems as "NAME: not tested: REASON"; a name that
// matches no member, or several, as extraction reports it.
void testMembers(const ArchivePaths& paths, int archiveFd, const ArchiveIndex& index,
                 const std::vector<std::string>& names, const Secrets& secrets, Problems& problems);

} // namespace pkzip
