// What an installation checks before it changes anything: the space its files need on each
// drive they go to, whether the folders they go to can be written, and on the NT family whether
// the user may change the machine's own settings. A refusal names what is missing and leaves the
// machine as it was.
//
// Space: each file an element copies counts with the size of its source on the medium, on the
// drive of its destination (a UNC destination counts on its share). The free space is asked of the
// platform with the extended call where the system has it (drives over 2 GB; Windows 95 before
// OSR2 lacks it) and with GetDiskFreeSpaceA otherwise, whose figure the platform caps at 2 GB.
//
// Folders: every folder a file goes to is tried with a probe file that is created and deleted
// again (folders that do not exist yet are made for the try and removed after it), on every
// family: a read-only drive refuses on Windows 98 as well.
//
// Rights (NT family only; Windows 95 and 98 have none): an installation that writes under
// HKEY_LOCAL_MACHINE (its entry in the list of installed programs always does) must be able to
// open HKEY_LOCAL_MACHINE\Software for creating keys and setting values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "setup/core/element.h"

// The space the files need on one drive, and what the drive has free.
struct DriveSpace {
    std::string root; // "C:\" or "\\server\share\"
    std::uint64_t needed = 0;
    std::uint64_t free = 0;
    bool known = false; // false: the platform could not say how much is free
};

// The drives the copied files of `order` go to, each with the sum of their sizes and its free
// space.
std::vector<DriveSpace> SpaceNeeded(const std::vector<WSetupElement*>& order);

// The size of the file on the medium that a copying element (a file kind's) takes; false when
// the file cannot be looked at.
[[nodiscard]] bool SourceSizeOf(WSetupElement& element, std::uint32_t& size);

// The free space on the drive of `root`; false when the platform cannot say.
[[nodiscard]] bool FreeSpaceOn(const std::string& root, std::uint64_t& free);

// Why the folder cannot be a product's destination: "" when it can. It must be a full path (a
// drive or a network share) and must not name a file; one the user chose (`chosen`: the
// command line's, the wizard's) must not lie in the medium's folder <S> either. The author's own
// Destination may (a medium laid out on the disk it installs to).
std::string DestinationRefusal(const std::string& destination, bool chosen);

// Runs the checks over the elements that will be installed; says a "space ..." line for every
// drive and a "refused ..." line for each refusal. ExitOk, or the exit code of the first kind of
// refusal met (ExitNoSpace, ExitNoRights).
[[nodiscard]] int CheckBeforeInstall(const std::vector<WSetupElement*>& order);
