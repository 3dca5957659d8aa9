// Path operations: joining, normalising, finding the root of a drive or network path, and
// classifying what a path names. Paths are texts with backslash separators; a root is "X:"
// (no backslash) or two backslashes, server and share (and possibly further folders).
#pragma once

#include <string>

#include "setup/core/seam.h"

std::string NormalizePath(const std::string& path);
// Directory, backslash and name, each trimmed; just the trimmed name for an empty directory.
std::string JoinPath(const std::string& directory, const std::string& name, bool normalise);
// Text before the last backslash; empty when there is none.
std::string ParentOf(const std::string& path);
// Text after the last backslash; the whole path when there is none.
std::string FileNameOf(const std::string& path);
// The platform's short (8.3) form of an existing path; empty when the platform gives none.
std::string ShortPathOf(const std::string& path);
bool IsUncPath(const std::string& path);
// The root of a path: "X:" for a drive path, the reachable share prefix of a UNC path (which
// may probe the network; reachable roots are cached for the life of the process), else empty.
std::string PathRoot(const std::string& path);
// The root without probing: the drive letter (with ":" when asked) or \\server\share.
std::string PathRootText(const std::string& path, bool withColon);
// The path without its root prefix and the backslash after it.
std::string PathBelowRoot(const std::string& path);
// The first letter from F to Z that is not a logical drive in use; empty when all are used.
std::string FirstFreeDriveLetter();
bool DriveInUse(const std::string& letter);

// What is at a path, as the file system's attributes tell it; nothing is opened. One trailing
// backslash is ignored, and a bare drive ("C:") names its root folder. An empty path, or one
// the platform cannot look up, is Nothing.
enum class PathKind { Nothing, File, Folder };
[[nodiscard]] PathKind WhatIsAt(const std::string& path);
// Whether the file at the path can be opened for reading now (a folder cannot). A file that is
// there can still fail this: one another process holds open without sharing, or one the user
// may not read. Ask this before reading, loading or starting a file; ask WhatIsAt before
// creating, replacing or deleting one, and whether a name is taken.
[[nodiscard]] bool CanOpenForReading(const std::string& path);

// ClassifyPath codes.
enum PathClass : int {
    PathTooShort = 0,
    PathIsDirectory = 1,
    PathIsFileOrNothing = 2,
    PathDriveRootMissing = 4,
    PathNetworkRootMissing = 8,
    PathDriveListDenied = 16,
    PathNetworkListDenied = 32,
    PathDriveLookupDenied = 64,
    PathNetworkLookupDenied = 128,
};
[[nodiscard]] int ClassifyPath(const std::string& path);

// The network connection calls that PathRoot's probe makes. The real one uses
// WNetAddConnection2A and WNetCancelConnection2A; tests replace it to reach every branch.
class NetworkConnector {
public:
    virtual ~NetworkConnector() = default;
    // Connects `remote` (\\server\share...) to `localDrive` ("X:") with an empty password;
    // returns the platform's result (0 = connected).
    virtual unsigned long Connect(const std::string& localDrive, const std::string& remote) = 0;
    // Cancels the connection of `localDrive` at once (forced).
    virtual unsigned long Cancel(const std::string& localDrive) = 0;
};
Seam<NetworkConnector*>& NetworkConnectorForTesting();
// Empties the cache of reachable network roots (for tests).
void ClearUncRootCache();
// The logical-drive mask (bit 0 = A:) that DriveInUse and FirstFreeDriveLetter read. The real
// source is GetLogicalDrives; tests replace it to reach the case of no free letter.
using DriveMaskSource = unsigned long (*)();
Seam<DriveMaskSource>& DriveMaskSourceForTesting();
