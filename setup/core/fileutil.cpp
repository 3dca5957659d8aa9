// File-system utilities: directory chains, unique and temporary names, block copies, file size,
// time and checksum, and the 8.3 short form of paths that do not exist yet.
#include "setup/core/fileutil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/process.h"
#include "setup/core/text.h"

namespace {

const char ProbeFileName[] = "1234567890.tmp";
// Characters that a short (8.3) name cannot hold, and those dropped when shortening.
const char ForbiddenCharacters[] = "/*?\"<>|,";
const char DroppedCharacters[] = "+= ";
constexpr DWORD CopyBlockSize = 64 * 1024;
constexpr DWORD ChecksumBlockSize = 64 * 1024;

// The text layer's characters: one byte, or two for a double-byte character of the system code
// page. An 8.3 name holds eight bytes before the dot and three after it, so short names are
// measured in bytes (a double-byte character takes two) and cut only between characters; only
// a character of its own can be a separator or a forbidden character (never the trail byte of a
// double-byte one).

// The longest start of the text of at most `bytes` bytes that ends between two characters: a
// double-byte character that would not fit whole is left out, with the rest.
std::string FirstBytes(const std::string& text, std::size_t bytes) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t next = pos + CharLengthAt(text, pos);
        if (next > bytes)
            break;
        pos = next;
    }
    return text.substr(0, pos);
}

// Whether the single-byte character at `pos` is one of `characters`.
bool IsOneOf(const std::string& text, std::size_t pos, const char* characters) {
    return CharLengthAt(text, pos) == 1 && text[pos] != '\0' && std::strchr(characters, text[pos]);
}

bool HasAnyOf(const std::string& text, const char* characters) {
    for (std::size_t pos = 0; pos < text.size(); pos += CharLengthAt(text, pos)) {
        if (IsOneOf(text, pos, characters))
            return true;
    }
    return false;
}

std::string WithoutAnyOf(const std::string& text, const char* characters) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = CharLengthAt(text, pos);
        if (!IsOneOf(text, pos, characters))
            out.append(text, pos, length);
        pos += length;
    }
    return out;
}

// Position of the first dot; TextNotFound when there is none.
std::size_t FirstDot(const std::string& name) {
    return FindText(name, ".", true);
}

// The text before the first dot (the whole text without one).
std::string BeforeDot(const std::string& name) {
    return name.substr(0, FirstDot(name));
}

// Splits at backslashes, keeping empty parts and blanks.
std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t pos = FindText(path, "\\", true, start);
        if (pos == TextNotFound) {
            parts.push_back(path.substr(start));
            return parts;
        }
        parts.push_back(path.substr(start, pos - start));
        start = pos + 1;
    }
}

// Whether one path component is an 8.3 name: at most eight bytes before an optional single dot
// and at most three after it. "." and ".." and empty components pass.
bool IsEightDotThree(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return true;
    const std::size_t dot = FirstDot(name);
    if (dot == TextNotFound)
        return name.size() <= 8;
    const std::string extension = name.substr(dot + 1);
    if (FirstDot(extension) != TextNotFound)
        return false;
    return dot <= 8 && extension.size() <= 3;
}

// Stem, "~" and number, with the stem cut so that the whole stays within eight bytes:
// "ABCDEF~9", then "ABCDE~10", "ABCD~100". Empty when even the number alone does not fit.
std::string NumberedStem(const std::string& stem, std::size_t maxStem, unsigned number) {
    const std::string tail = "~" + std::to_string(number);
    if (tail.size() > 8)
        return {};
    const std::size_t room = 8 - tail.size();
    return FirstBytes(stem, maxStem < room ? maxStem : room) + tail;
}

// The extension part of a shortened name: the text after the first dot without further dots, at
// most three bytes, with its dot; empty when there is no such text.
std::string ShortExtension(const std::string& name) {
    const std::size_t dot = FirstDot(name);
    if (dot == TextNotFound)
        return {};
    std::string ext = FirstBytes(WithoutAnyOf(name.substr(dot + 1), "."), 3);
    return ext.empty() ? ext : "." + ext;
}

// The numbered short form of a directory component: its first six bytes, "~" and the
// number. Where that would not be an 8.3 name (a dot among the first bytes), the text
// before the first dot is numbered and the extension kept.
std::string ShortDirectoryForm(const std::string& component, unsigned number) {
    std::string form = NumberedStem(component, 6, number);
    if (form.empty() || IsEightDotThree(form))
        return form;
    form = NumberedStem(BeforeDot(component), 6, number);
    return form.empty() ? form : form + ShortExtension(component);
}

// What the numbered forms of a directory component depend on: its first six bytes, the first
// six before its first dot and its short extension. Components of one family get the
// same form for every number from 2 on.
std::string FormFamily(const std::string& component) {
    return Uppercased(FirstBytes(component, 6) + "|" + FirstBytes(BeforeDot(component), 6) + "|" +
                      ShortExtension(component));
}

// The long directory components that were shortened and the short forms given to them, for the
// life of the process. The lists keep the order of use; the upper-cased indexes beside them
// answer the look-ups.
struct ShortNameMemory {
    TextList longNames;
    TextList shortNames;
    std::unordered_map<std::string, std::size_t> byLongName; // upper-cased long -> index
    std::unordered_set<std::string> shortNameSet;            // upper-cased short forms
    // The last number given to each family of numbered forms (see FormFamily).
    std::unordered_map<std::string, unsigned> lastNumber;

    const std::string* ShortFormOf(const std::string& longName) const {
        auto it = byLongName.find(Uppercased(longName));
        return it == byLongName.end() ? nullptr : &shortNames[it->second];
    }
    bool IsTaken(const std::string& shortName) const {
        return shortNameSet.count(Uppercased(shortName)) != 0;
    }
    void Remember(const std::string& longName, const std::string& shortName) {
        byLongName.emplace(Uppercased(longName), longNames.size());
        longNames.push_back(longName);
        shortNames.push_back(shortName);
        shortNameSet.insert(Uppercased(shortName));
    }
};

ShortNameMemory& Memory() {
    static ShortNameMemory memory; // created on first use, released at program end
    return memory;
}

// The short form of one directory component (see ComputeShortPath); empty when no 8.3 form
// can be given to it.
std::string ShortDirectoryComponent(const std::string& component) {
    ShortNameMemory& memory = Memory();
    if (const std::string* known = memory.ShortFormOf(component))
        return *known;
    const std::string cleaned = WithoutAnyOf(component, DroppedCharacters);
    const bool needsNumber = !IsEightDotThree(cleaned);
    std::string shortForm = needsNumber ? ShortDirectoryForm(cleaned, 1) : cleaned;
    if (shortForm == component)
        return shortForm;
    if (!shortForm.empty() && memory.IsTaken(shortForm)) {
        // Numbers from 2 on. Every number up to the last one given in this family is taken
        // already (short forms are never forgotten), so the search goes on from there.
        unsigned& last = memory.lastNumber[FormFamily(cleaned)];
        unsigned number = last > 2 ? last : 2;
        while (!(shortForm = ShortDirectoryForm(cleaned, number)).empty() &&
               memory.IsTaken(shortForm))
            ++number;
        last = number;
    }
    if (!shortForm.empty())
        memory.Remember(component, shortForm);
    return shortForm;
}

// The short form of a file name in the given long directory (see ComputeShortPath).
std::string ShortFileName(const std::string& directory, const std::string& name) {
    const std::size_t dot = FirstDot(name);
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == TextNotFound ? std::string() : name.substr(dot + 1);
    if (base.size() <= 8 && ext.size() <= 3 && FirstDot(ext) == TextNotFound &&
        !HasAnyOf(name, ForbiddenCharacters) && !HasAnyOf(name, DroppedCharacters))
        return name;
    const std::string cleaned = WithoutAnyOf(name, DroppedCharacters);
    const std::string stem = BeforeDot(cleaned);
    const std::string shortExt = ShortExtension(cleaned);
    for (unsigned number = 1;; ++number) {
        const std::string candidate = NumberedStem(stem, 5, number);
        if (candidate.empty())
            return candidate;
        if (WhatIsAt(JoinPath(directory, candidate + shortExt, true)) == PathKind::Nothing)
            return candidate + shortExt;
    }
}

// The wrapping sum of `count` 32-bit words read in the platform's (little-endian) byte order,
// four lanes at a time.
std::uint32_t SumOfWords(const unsigned char* p, std::size_t count) {
    typedef std::uint32_t Lanes __attribute__((vector_size(16)));
    Lanes a = {0, 0, 0, 0}, b = a, c = a, d = a;
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16, p += 64) {
        Lanes w[4];
        std::memcpy(w, p, sizeof w);
        a += w[0];
        b += w[1];
        c += w[2];
        d += w[3];
    }
    const Lanes total = a + b + c + d;
    std::uint32_t sum = total[0] + total[1] + total[2] + total[3];
    for (; i < count; ++i, p += 4) {
        std::uint32_t word;
        std::memcpy(&word, p, sizeof word);
        sum += word;
    }
    return sum;
}

// Sharing that denies nothing. The Windows 95/98 family does not know FILE_SHARE_DELETE and
// refuses to open a file when it is asked for, so only the NT family asks for it.
DWORD ShareEverything() {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    return ThePlatformVersion().PlatformId() == VER_PLATFORM_WIN32_NT ? share | FILE_SHARE_DELETE
                                                                      : share;
}

HANDLE OpenForReading(const std::string& path, DWORD share) {
    return CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Creates the file (no sharing, always created) and deletes it again.
bool ProbeWrite(const std::string& path, DWORD disposition = CREATE_ALWAYS) {
    {
        KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
    }
    DeleteFileA(path.c_str());
    return true;
}

// A probe under a unique name: it is created new, so that a file another process made under
// the same name meanwhile is neither truncated nor deleted.
bool ProbeWriteUnique(const std::string& directory) {
    for (int attempt = 0; attempt < UniqueNameAttempts; ++attempt) {
        const std::string probe = UniqueNameIn(directory);
        if (probe.empty())
            return false;
        if (ProbeWrite(probe, CREATE_NEW))
            return true;
        if (!NameWasTaken(GetLastError()))
            return false;
    }
    return false;
}

// Whether `path` names the file that is open as `file`, under whatever spelling (letter case, a
// short name, another drive that maps the same folder). Files are told apart by volume and file
// index; a path that cannot be opened names no open file.
bool NamesOpenFile(const std::string& path, HANDLE file) {
    KernelHandle other(CreateFileA(path.c_str(), 0, ShareEverything(), nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION a, b;
    return other && GetFileInformationByHandle(file, &a) &&
           GetFileInformationByHandle(other.Get(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// A new, empty file with a name of its own in the folder (the current one when empty); empty
// when none can be made there.
std::string NewFileIn(const std::string& folder) {
    char name[MAX_PATH];
    if (!GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "tvc", 0, name))
        return {};
    return name;
}

// Copies the rest of `in` to `out` in blocks, handling at most one pending window message
// before each block. A read or write that fails fails the copy.
bool CopyBlocks(HANDLE in, HANDLE out) {
    std::vector<char> block(CopyBlockSize);
    for (;;) {
        PumpOneMessage();
        DWORD got = 0;
        if (!ReadFile(in, block.data(), CopyBlockSize, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        DWORD written = 0;
        if (!WriteFile(out, block.data(), got, &written, nullptr) || written != got)
            return false;
    }
}

// Moves the finished copy onto the destination, replacing a file there. The NT family replaces
// in one call. The Windows 95/98 family cannot (its MoveFileExA fails), so an old file is moved
// aside first and put back when the copy cannot take its place.
bool MoveIntoPlace(const std::string& copy, const std::string& destination) {
    if (ThePlatformVersion().PlatformId() == VER_PLATFORM_WIN32_NT)
        return MoveFileExA(copy.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    if (WhatIsAt(destination) == PathKind::Nothing)
        return MoveFileA(copy.c_str(), destination.c_str()) != FALSE;
    const std::string aside = NewFileIn(ParentOf(copy));
    if (aside.empty() || !DeleteFileA(aside.c_str()))
        return false;
    if (!MoveFileA(destination.c_str(), aside.c_str()))
        return false;
    if (!MoveFileA(copy.c_str(), destination.c_str())) {
        MoveFileA(aside.c_str(), destination.c_str());
        return false;
    }
    DeleteFileA(aside.c_str());
    return true;
}

} // namespace

bool IsShortName(const std::string& path) {
    for (const std::string& component : Components(TextAfter(path, "\\"))) {
        if (!IsEightDotThree(component))
            return false;
    }
    return true;
}

std::string ComputeShortPath(const std::string& directory, const std::string& fileName) {
    if (HasAnyOf(directory, ForbiddenCharacters) || HasAnyOf(fileName, ForbiddenCharacters))
        return {};
    const std::string root = PathRoot(directory);
    std::string remainder = directory;
    // The second character (after a first one that may take two bytes).
    const std::size_t second = remainder.empty() ? 0 : CharLengthAt(remainder, 0);
    if (second >= remainder.size() || !IsOneOf(remainder, second, ":\\"))
        remainder = "\\" + remainder;
    remainder.erase(0, root.size() < remainder.size() ? root.size() : remainder.size());

    std::string shortDirectory;
    if (IsShortName(remainder)) {
        shortDirectory = remainder;
    } else {
        for (const std::string& component : Components(remainder)) {
            const std::string shortComponent = ShortDirectoryComponent(component);
            if (shortComponent.empty() && !component.empty())
                return {};
            shortDirectory += shortComponent + "\\";
        }
    }
    const std::string shortName = ShortFileName(directory, fileName);
    if (shortName.empty() && !fileName.empty())
        return {};
    return JoinPath(root + shortDirectory, shortName, true);
}

bool CanWriteTo(const std::string& directory, bool probe) {
    if (WhatIsAt(directory) == PathKind::Folder) {
        if (!probe)
            return ProbeWriteUnique(directory);
        return ProbeWrite(JoinPath(directory, ProbeFileName, true));
    }
    const std::string path = Trimmed(directory);
    const std::string root = PathRoot(path);
    std::string rest = root.size() < path.size() ? path.substr(root.size()) : std::string();
    if (!rest.empty() && rest[0] == '\\')
        rest.erase(0, 1);

    std::vector<std::string> created;
    bool ok = true;
    std::string level = root;
    for (const std::string& component : Components(rest)) {
        level = JoinPath(level, component, true);
        if (WhatIsAt(level) == PathKind::Folder)
            continue;
        if (!CreateDirectoryTree(level)) {
            ok = false;
            break;
        }
        created.push_back(level);
    }
    if (ok && probe)
        ok = ProbeWrite(JoinPath(level, ProbeFileName, true));
    for (auto it = created.rbegin(); it != created.rend(); ++it)
        RemoveDirectoryA(it->c_str());
    return ok;
}

bool FileSize(const std::string& path, std::uint32_t& size) {
    size = 0;
    KernelHandle file(OpenForReading(path, ShareEverything()));
    if (!file.IsOpen())
        return false;
    // The low word INVALID_FILE_SIZE is also the size of a file of 4 GB less one byte: only the
    // last error tells a failure.
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(file.Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    // A size that does not fit the result is not reported as a wrong, smaller one.
    if (high != 0)
        return false;
    size = low;
    return true;
}

bool FileTime(const std::string& path, std::time_t& time) {
    time = 0;
    KernelHandle file(OpenForReading(path, ShareEverything()));
    FILETIME written;
    if (!file.IsOpen() || !GetFileTime(file.Get(), nullptr, nullptr, &written))
        return false;
    // FILETIME counts 100 ns steps since 1601; calendar time counts seconds since 1970.
    const unsigned long long ticks =
        static_cast<unsigned long long>(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    const unsigned long long epoch = 116444736000000000ULL;
    time = ticks < epoch ? 0 : static_cast<std::time_t>((ticks - epoch) / 10000000ULL);
    return true;
}

bool FileChecksum(const std::string& path, std::uint32_t& checksum) {
    checksum = 0;
    KernelHandle file(OpenForReading(path, FILE_SHARE_READ));
    if (!file.IsOpen())
        return false;
    // The sum of the content's 4-byte little-endian words (wrapping), a final short word taken
    // with zero high bytes. Blocks are a multiple of four bytes, so only the last read can end
    // inside a word; a short read elsewhere is carried over.
    std::vector<unsigned char> block(ChecksumBlockSize);
    std::uint32_t sum = 0;
    std::size_t carried = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), block.data() + carried,
                      static_cast<DWORD>(block.size() - carried), &got, nullptr))
            return false;
        const std::size_t available = carried + got;
        const std::size_t words = available / 4;
        const unsigned char* p = block.data() + words * 4;
        sum += SumOfWords(block.data(), words);
        carried = available - words * 4;
        if (carried)
            std::memmove(block.data(), p, carried);
        if (got == 0)
            break;
    }
    std::uint32_t last = 0;
    for (std::size_t i = 0; i < carried; ++i)
        last |= static_cast<std::uint32_t>(block[i]) << (8 * i);
    checksum = sum + last;
    return true;
}

bool CreateDirectoryTree(const std::string& path) {
    const std::string parent = ParentOf(path);
    if (!parent.empty())
        (void)CreateDirectoryTree(parent); // a parent that is missing fails the create below
    if (WhatIsAt(path) == PathKind::Folder)
        return true;
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool RemoveEmptyDirectoryChain(const std::string& path) {
    std::string directory = path;
    // One trailing backslash goes (a backslash of its own, not the trail byte of a character).
    if (directory.size() > 3 && FileNameOf(directory).empty())
        directory.pop_back();
    if (!RemoveDirectoryA(directory.c_str()))
        return false;
    const std::string parent = ParentOf(directory);
    if (parent.size() > 3)
        (void)RemoveEmptyDirectoryChain(parent); // a parent that is not empty rightly stays
    return true;
}

std::string UniqueNameIn(const std::string& directory) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Five decimal digits with leading zeros (the number is below 32768).
        char name[6] = {};
        for (int i = 4, number = std::rand() & 0x7FFF; i >= 0; --i, number /= 10)
            name[i] = static_cast<char>('0' + number % 10);
        std::string candidate = JoinPath(directory, name, true);
        // Free means nothing is there: a file someone holds without sharing cannot be opened
        // for reading, but its name is taken all the same.
        if (WhatIsAt(candidate) == PathKind::Nothing)
            return candidate;
    }
    return {};
}

bool NameWasTaken(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

std::string TempFileName() {
    char temp[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n >= sizeof temp)
        return {};
    return UniqueNameIn(std::string(temp, n));
}

bool CopyFileByStreams(const std::string& source, const std::string& destination) {
    // The source is opened first: when it is missing, the destination is left untouched.
    KernelHandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in || NamesOpenFile(destination, in.Get()))
        return false;
    // What could not be opened for writing is not replaced: a folder, a read-only file.
    const DWORD attributes = GetFileAttributesA(destination.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    const std::string parent = ParentOf(destination);
    if (!parent.empty())
        (void)CreateDirectoryTree(parent); // a missing folder fails the copy below

    // The copy is made beside the destination and takes its place only when it is complete, so
    // a copy that fails leaves the old file (or none) there.
    const std::string copy = NewFileIn(parent);
    if (copy.empty())
        return false;
    bool copied = false;
    {
        KernelHandle out(CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        copied = out && CopyBlocks(in.Get(), out.Get()) && out.Reset();
    }
    in.Reset();
    if (copied && MoveIntoPlace(copy, destination))
        return true;
    DeleteFileA(copy.c_str());
    return false;
}
