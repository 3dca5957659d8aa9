#include "setup/core/path.h"

#include "setup/core/handles.h"
#include "setup/core/text.h"

#include <windows.h>
#include <winnetwk.h>

namespace {

class PlatformConnector : public NetworkConnector {
public:
    unsigned long Connect(const std::string& localDrive, const std::string& remote) override {
        std::string local = localDrive;
        std::string target = remote;
        NETRESOURCEA resource{};
        resource.dwType = RESOURCETYPE_DISK;
        resource.lpLocalName = &local[0];
        resource.lpRemoteName = &target[0];
        return WNetAddConnection2A(&resource, "", nullptr, 0);
    }
    unsigned long Cancel(const std::string& localDrive) override {
        return WNetCancelConnection2A(localDrive.c_str(), 0, TRUE);
    }
};

PlatformConnector g_platformConnector;
Seam<NetworkConnector*> g_connector{&g_platformConnector};

unsigned long PlatformDriveMask() {
    return GetLogicalDrives();
}
Seam<DriveMaskSource> g_driveMask{&PlatformDriveMask};

// Network roots found reachable, kept for the life of the process.
TextList& UncRootCache() {
    static TextList cache;
    return cache;
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool BeginsWithTwoBackslashes(const std::string& text) {
    return text.size() >= 2 && text[0] == '\\' && text[1] == '\\';
}

// Position of the last backslash that is a character of its own (not a trail byte).
std::size_t LastBackslash(const std::string& path) {
    std::size_t last = TextNotFound;
    for (std::size_t pos = FindText(path, "\\", true); pos != TextNotFound;
         pos = FindText(path, "\\", true, pos + 1))
        last = pos;
    return last;
}

// The cached root that `path` lies on: the cached text is, ignoring case, the start of the
// path, and it ends there or at a backslash (\\srv\data is not a root of \\srv\data2).
std::string CachedRootOf(const std::string& path) {
    for (const std::string& root : UncRootCache()) {
        if (path.size() < root.size())
            continue;
        if (path.size() > root.size() && path[root.size()] != '\\')
            continue;
        if (EqualText(path.substr(0, root.size()), root, false))
            return root;
    }
    return {};
}

} // namespace

Seam<NetworkConnector*>& NetworkConnectorForTesting() {
    return g_connector;
}

void ClearUncRootCache() {
    UncRootCache().clear();
}

Seam<DriveMaskSource>& DriveMaskSourceForTesting() {
    return g_driveMask;
}

std::string NormalizePath(const std::string& path) {
    std::string p = Trimmed(path);
    const bool unc = BeginsWithTwoBackslashes(p);
    p = ReplaceAll(p, "\\\\", "\\", true);
    if (unc)
        p = "\\" + p;
    p = Trimmed(StripTrailingDelimiter(p, "\\"));
    // A drive without a backslash after its colon ("C:", "C:dir") gets one, unless the text
    // is an unexpanded path macro.
    if (ContainsText(p, ":", true) && !ContainsText(p, ":\\", true) && !ContainsText(p, ">", true))
        p = ReplaceAll(p, ":", ":\\", true);
    return p;
}

std::string JoinPath(const std::string& directory, const std::string& name, bool normalise) {
    std::string dir = Trimmed(directory);
    std::string joined = dir.empty() ? Trimmed(name) : dir + "\\" + Trimmed(name);
    return normalise ? NormalizePath(joined) : joined;
}

std::string ParentOf(const std::string& path) {
    std::size_t pos = LastBackslash(path);
    return pos == TextNotFound ? std::string() : path.substr(0, pos);
}

std::string FileNameOf(const std::string& path) {
    std::size_t pos = LastBackslash(path);
    return pos == TextNotFound ? path : path.substr(pos + 1);
}

std::string ShortPathOf(const std::string& path) {
    char buffer[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::string(buffer, n);
}

bool IsUncPath(const std::string& path) {
    return path.size() > 2 && BeginsWithTwoBackslashes(path);
}

std::string PathRoot(const std::string& path) {
    std::string p = StripTrailingDelimiter(Trimmed(path), "\\");
    if (ContainsText(p, ":", true)) {
        std::string drive = TextBefore(p, ":", true);
        if (drive.size() == 1 && IsAsciiLetter(drive[0]))
            return drive + ":";
        return {};
    }
    // Only a path that begins with two backslashes names a server; a doubled separator
    // inside a relative path does not.
    if (!BeginsWithTwoBackslashes(p))
        return {};

    std::string cached = CachedRootOf(p);
    if (!cached.empty())
        return cached;

    TextList parts;
    if (SplitText(p, parts, '\\') < 4 || parts[2].empty())
        return {};
    std::string root = "\\\\" + parts[2] + "\\" + parts[3];
    std::string letter = FirstFreeDriveLetter();
    if (letter.empty())
        return root;
    // The share may sit deeper than \\server\share: connect the growing prefixes to a free
    // drive letter; the first that connects is the root.
    const std::string drive = letter + ":";
    std::string prefix = root;
    for (std::size_t i = 4;; ++i) {
        if (g_connector.Get()->Connect(drive, prefix) == NO_ERROR) {
            g_connector.Get()->Cancel(drive);
            UncRootCache().push_back(prefix);
            return prefix;
        }
        if (i >= parts.size())
            break;
        prefix += "\\" + parts[i];
    }
    return root;
}

std::string PathRootText(const std::string& path, bool withColon) {
    if (ContainsText(path, ":", true)) {
        std::string drive = TextBefore(path, ":", true);
        if (drive.size() == 1 && IsAsciiLetter(drive[0]))
            return withColon ? drive + ":" : drive;
    }
    return "\\\\" + NthField(path, "\\", 3) + "\\" + NthField(path, "\\", 4);
}

std::string PathBelowRoot(const std::string& path) {
    std::string p = Trimmed(path);
    std::string prefix;
    std::size_t colon = FindText(p, ":", true);
    if (colon != TextNotFound)
        prefix = p.substr(0, colon + 1);
    else
        prefix = "\\\\" + NthField(p, "\\", 3) + "\\" + NthField(p, "\\", 4);
    return StripLeadingDelimiter(ReplaceFirst(p, prefix, "", false), "\\");
}

std::string FirstFreeDriveLetter() {
    unsigned long mask = g_driveMask.Get()();
    for (int i = 'F' - 'A'; i <= 'Z' - 'A'; ++i) {
        if (!(mask & (1ul << i)))
            return std::string(1, static_cast<char>('A' + i));
    }
    return {};
}

bool DriveInUse(const std::string& letter) {
    if (letter.empty())
        return false;
    char c = Uppercased(letter)[0];
    if (c < 'A' || c > 'Z')
        return false;
    return (g_driveMask.Get()() & (1ul << (c - 'A'))) != 0;
}

PathKind WhatIsAt(const std::string& path) {
    std::string p = StripTrailingDelimiter(path, "\\");
    if (p.empty())
        return PathKind::Nothing;
    if (p.back() == ':') // ':' is never the second byte of a character
        p += "\\";
    const DWORD attributes = GetFileAttributesA(p.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::Nothing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
}

bool CanOpenForReading(const std::string& path) {
    if (path.empty())
        return false;
    // Opened as the run-time library opens a file for reading, without its stream: the stream's
    // set-up costs one more call to the file system for every test.
    return KernelHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
        .IsOpen();
}

int ClassifyPath(const std::string& path) {
    if (path.size() < 2)
        return PathTooShort;
    const std::string root = StripTrailingDelimiter(PathRoot(path), "\\");
    const bool network = root.size() >= 3 && BeginsWithTwoBackslashes(root);
    if (WhatIsAt(root) != PathKind::Folder)
        return network ? PathNetworkRootMissing : PathDriveRootMissing;

    WIN32_FIND_DATAA found;
    FindHandle listing(FindFirstFileA((root + "\\*.*").c_str(), &found));
    if (!listing && GetLastError() == ERROR_ACCESS_DENIED)
        return network ? PathNetworkListDenied : PathDriveListDenied;
    listing.Reset();

    const std::string target = StripTrailingDelimiter(path, "\\");
    if (EqualText(target, root, false))
        return PathIsDirectory;
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() == ERROR_ACCESS_DENIED)
            return network ? PathNetworkLookupDenied : PathDriveLookupDenied;
        return PathIsFileOrNothing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathIsDirectory : PathIsFileOrNothing;
}
