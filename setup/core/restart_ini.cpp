// Restart replacement and line-oriented INI files: a byte-faithful line reader, a checked
// buffered writer, the copy back over the original, and the operations built on them.
#include "setup/core/restart_ini.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/path.h"
#include "setup/core/process.h"
#include "setup/core/sysfolders.h"

namespace {

constexpr DWORD BlockSize = 64 * 1024;
// A line that grows past this size while it is read is searched and written in pieces, so a
// line of any length needs only this much memory.
constexpr std::size_t LongLineBytes = 1024 * 1024;
// How far back AppendIniSection looks for the end of the file's last line.
constexpr DWORD TailBytes = 4096;

const char LineBreak[] = "\r\n";
const char RenameSection[] = "rename";

RestartPlatform g_realPlatform;
Seam<RestartPlatform*> g_platform{&g_realPlatform};
Seam<LinePump> g_pump{&PumpOneMessage};

void Pump() {
    g_pump.Get()();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Moves the file pointer; false when the platform refuses.
bool SeekTo(HANDLE file, unsigned long long offset) {
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool SizeOf(HANDLE file, unsigned long long& size) {
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    size = static_cast<unsigned long long>(high) << 32 | low;
    return true;
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written != chunk)
            return false;
        data += chunk;
        size -= chunk;
    }
    return true;
}

// Whether a byte may start a double-byte character in the system code page, read once.
class LeadBytes {
public:
    LeadBytes() {
        CPINFO info{};
        m_doubleByte = GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
        for (int b = 0; b < 256; ++b)
            m_lead[b] = m_doubleByte && IsDBCSLeadByte(static_cast<BYTE>(b));
    }
    bool DoubleByte() const { return m_doubleByte; }
    // The last character boundary at or before `limit`, walking from the boundary `from`. A lead
    // byte followed by NUL is a character of its own, as the text layer counts it.
    std::size_t BoundaryAtOrBefore(const std::string& text, std::size_t from,
                                   std::size_t limit) const {
        if (!m_doubleByte)
            return limit;
        std::size_t p = from;
        while (p < limit) {
            const bool pair = m_lead[static_cast<unsigned char>(text[p])] && p + 1 < text.size() &&
                              text[p + 1] != '\0';
            const std::size_t next = p + (pair ? 2 : 1);
            if (next > limit)
                break;
            p = next;
        }
        return p;
    }

private:
    bool m_doubleByte = false;
    bool m_lead[256] = {};
};

const LeadBytes& Leads() {
    static const LeadBytes leads;
    return leads;
}

// Reads a file as lines of bytes. A line arrives whole (NextLine) or in pieces (NextPiece), with
// its own line ending: "\r\n", "\n", or "" for a last line without one.
class LineReader {
public:
    enum Result { Partial, Complete, End, Failed };

    bool Open(const std::string& path) {
        m_file.Reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        return m_file.IsOpen();
    }
    void Close() { m_file.Reset(); }

    // Appends the next bytes of the current line to `out`: Partial when the line goes on,
    // Complete with `ending` set when it ended, End when there are no more lines.
    Result NextPiece(std::string& out, const char*& ending) {
        ending = "";
        if (m_pos == m_end && !Fill())
            return Failed;
        if (m_end == 0) {
            const bool open = m_lineOpen || m_pendingCr;
            if (m_pendingCr)
                out += '\r';
            m_lineOpen = m_pendingCr = false;
            return open ? Complete : End;
        }
        if (m_pendingCr) {
            m_pendingCr = false;
            if (m_block[m_pos] == '\n') {
                ++m_pos;
                ending = "\r\n";
                m_lineOpen = false;
                return Complete;
            }
            out += '\r';
        }
        const char* start = m_block.data() + m_pos;
        const std::size_t available = m_end - m_pos;
        const char* feed = static_cast<const char*>(std::memchr(start, '\n', available));
        if (feed) {
            std::size_t length = static_cast<std::size_t>(feed - start);
            if (length > 0 && start[length - 1] == '\r') {
                out.append(start, length - 1);
                ending = "\r\n";
            } else {
                out.append(start, length);
                ending = "\n";
            }
            m_pos += static_cast<DWORD>(length + 1);
            m_lineOpen = false;
            return Complete;
        }
        // A CR at the end of the block may be the first half of a CR LF ending.
        if (start[available - 1] == '\r') {
            out.append(start, available - 1);
            m_pendingCr = true;
        } else {
            out.append(start, available);
        }
        m_pos = m_end;
        m_lineOpen = true;
        return Partial;
    }

    // The next whole line (without its ending) in `line`.
    Result NextLine(std::string& line, const char*& ending) {
        line.clear();
        for (;;) {
            Result r = NextPiece(line, ending);
            if (r != Partial)
                return r;
        }
    }

private:
    bool Fill() {
        m_pos = m_end = 0;
        DWORD got = 0;
        if (!ReadFile(m_file.Get(), m_block.data(), BlockSize, &got, nullptr))
            return false;
        m_end = got;
        return true;
    }

    KernelHandle m_file;
    std::vector<char> m_block = std::vector<char>(BlockSize);
    DWORD m_pos = 0;
    DWORD m_end = 0;
    bool m_lineOpen = false;
    bool m_pendingCr = false;
};

// A new file written through a buffer; every write and the close are checked.
class BufferedWriter {
public:
    bool Create(const std::string& path) {
        m_file.Reset(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        return m_file.IsOpen();
    }
    void Write(const char* data, std::size_t size) {
        if (!m_ok)
            return;
        if (m_buffer.size() + size > BlockSize) {
            Flush();
            if (size >= BlockSize) {
                m_ok = m_ok && WriteAll(m_file.Get(), data, size);
                return;
            }
        }
        m_buffer.append(data, size);
    }
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    void Write(const std::string& text, std::size_t from, std::size_t count) {
        Write(text.data() + from, count);
    }
    // True when everything written reached the file and the file was closed.
    bool Close() {
        Flush();
        const bool closed = m_file.Reset();
        return m_ok && closed;
    }

private:
    void Flush() {
        if (m_ok && !m_buffer.empty())
            m_ok = WriteAll(m_file.Get(), m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }

    KernelHandle m_file;
    std::string m_buffer;
    bool m_ok = true;
};

// A temporary file, deleted when the object goes.
class TempFile {
public:
    TempFile() = default;
    ~TempFile() {
        if (!m_path.empty())
            DeleteFileA(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates a new file at TempFileName (and its folder) for `writer`.
    bool Create(BufferedWriter& writer) {
        const std::string name = TempFileName();
        if (name.empty())
            return false;
        const std::string folder = ParentOf(name);
        if (!folder.empty())
            CreateDirectoryTree(folder);
        if (!writer.Create(name))
            return false;
        m_path = name;
        return true;
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Copies `source` over `target` (opened without sharing): the new size is reserved first, so a
// failure to get the room leaves the target as it was. `created` targets did not exist before.
bool WriteOver(const std::string& source, const std::string& target, bool create) {
    KernelHandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    unsigned long long newSize = 0;
    if (!in.IsOpen() || !SizeOf(in.Get(), newSize))
        return false;
    KernelHandle out(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr,
                                 create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    unsigned long long oldSize = 0;
    if (!out.IsOpen() || !SizeOf(out.Get(), oldSize))
        return false;
    if (newSize > oldSize) {
        if (!SeekTo(out.Get(), newSize) || !SetEndOfFile(out.Get())) {
            if (SeekTo(out.Get(), oldSize))
                SetEndOfFile(out.Get());
            return false;
        }
    }
    if (!SeekTo(out.Get(), 0))
        return false;
    std::vector<char> block(BlockSize);
    for (;;) {
        Pump();
        DWORD got = 0;
        if (!ReadFile(in.Get(), block.data(), BlockSize, &got, nullptr))
            return false;
        if (got == 0)
            break;
        if (!WriteAll(out.Get(), block.data(), got))
            return false;
    }
    if (!SeekTo(out.Get(), newSize) || !SetEndOfFile(out.Get()))
        return false;
    return out.Reset();
}

// Copies the finished temporary file over `target`, which keeps its attributes. A missing
// target is created only when `mayCreate`; one created here is removed again on failure.
bool CopyBack(const std::string& temp, const std::string& target, bool mayCreate) {
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!mayCreate)
            return false;
        if (WriteOver(temp, target, true))
            return true;
        DeleteFileA(target.c_str());
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return false;
    const bool plain = attributes == FILE_ATTRIBUTE_NORMAL;
    if (!plain && !SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL))
        return false;
    bool ok = WriteOver(temp, target, false);
    if (!plain && !SetFileAttributesA(target.c_str(), attributes))
        ok = false;
    return ok;
}

// The name of a section line; false for any other line.
bool SectionName(const std::string& line, std::string& name) {
    std::size_t p = 0;
    while (p < line.size() && IsBlank(line[p]))
        ++p;
    if (p == line.size() || line[p] != '[')
        return false;
    const std::size_t close = FindText(line, "]", true, p + 1);
    if (close == TextNotFound)
        return false;
    name = Trimmed(line.substr(p + 1, close - p - 1));
    return !name.empty();
}

bool IsKeyLine(const std::string& line) {
    const std::size_t equals = FindText(line, "=", true);
    return equals != TextNotFound && !Trimmed(line.substr(0, equals)).empty();
}

bool SameName(const std::string& name, const std::string& wanted) {
    return EqualText(name, Trimmed(wanted), false);
}

bool NameInList(const std::string& name, const TextList& names) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return SameName(name, n); });
}

// What comes before a new section: nothing at the start of an empty file or after a blank line,
// a line break to end a last line without one, otherwise a line break that makes a blank line.
const char* SectionSeparator(bool empty, bool lastLineEnded, bool lastLineBlank) {
    if (empty || (lastLineEnded && lastLineBlank))
        return "";
    return LineBreak;
}

// Writes `section` and its lines to `writer`.
void WriteSection(BufferedWriter& writer, const std::string& section, const TextList& lines) {
    writer.Write("[" + section + "]" + LineBreak);
    for (const std::string& line : lines) {
        writer.Write(line);
        writer.Write(LineBreak);
    }
}

// Rewrites an INI file without the named sections. With `append` set, the key lines of the
// removed sections followed by `extraLines` are written again as one section named `*append`
// at the end of the file (which is created when missing). Nothing is written when nothing
// changes.
bool RewriteIni(const std::string& file, const TextList& sections, const std::string* append,
                const TextList& extraLines) {
    const bool exists = GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!exists && !append)
        return false;
    TempFile temp;
    BufferedWriter writer;
    if (!temp.Create(writer))
        return false;

    TextList carried;
    bool removed = false;
    bool empty = true;
    bool lastEnded = false;
    bool lastBlank = false;
    if (exists) {
        LineReader reader;
        if (!reader.Open(file))
            return false;
        bool skipping = false;
        std::string line;
        std::string name;
        const char* ending = "";
        for (;;) {
            const LineReader::Result r = reader.NextLine(line, ending);
            if (r == LineReader::Failed)
                return false;
            if (r == LineReader::End)
                break;
            Pump();
            if (SectionName(line, name)) {
                skipping = NameInList(name, sections);
                removed = removed || skipping;
                if (skipping)
                    continue;
            } else if (skipping) {
                if (append && IsKeyLine(line))
                    carried.push_back(line);
                continue;
            }
            writer.Write(line);
            writer.Write(ending);
            empty = false;
            lastEnded = *ending != '\0';
            lastBlank = Trimmed(line).empty();
        }
    }
    if (append) {
        carried.insert(carried.end(), extraLines.begin(), extraLines.end());
        writer.Write(SectionSeparator(empty, lastEnded, lastBlank));
        WriteSection(writer, *append, carried);
    }
    if (!writer.Close())
        return false;
    if (!removed && !append)
        return true;
    return CopyBack(temp.Path(), file, append != nullptr);
}

// Adds lines to the "rename" section of WININIT.INI, which moves to the end of the file.
bool ScheduleInWininit(const TextList& lines) {
    const std::string windows = g_platform.Get()->WindowsFolder();
    if (windows.empty())
        return false;
    const std::string ini = JoinPath(windows, "WININIT.INI", true);
    const std::string section = RenameSection;
    return RewriteIni(ini, TextList{section}, &section, lines);
}

// Searches the pieces of a long line as they arrive: writes everything before the point where
// a match could still straddle into bytes not yet read, and keeps the rest in `line`.
class LongLineReplacer {
public:
    LongLineReplacer(const std::string& find, const std::string& replacement, bool caseSensitive)
        : m_find(find), m_replacement(replacement), m_caseSensitive(caseSensitive),
          m_needle(caseSensitive ? find : Uppercased(find)) {}

    void WriteDecided(std::string& line, BufferedWriter& writer, bool& changed) const {
        const std::size_t f = m_find.size();
        // A match must end before the last byte: that byte may be the lead byte of a
        // double-byte character whose trail byte is still to come.
        if (line.size() <= f + 1)
            return;
        const std::size_t lastStart = line.size() - f - 1;
        const std::string upper = m_caseSensitive ? std::string() : Uppercased(line);
        const std::string& haystack = m_caseSensitive ? line : upper;
        std::size_t pos = 0;
        for (;;) {
            const std::size_t match = FindText(haystack, m_needle, true, pos);
            if (match == TextNotFound || match > lastStart)
                break;
            writer.Write(line, pos, match - pos);
            writer.Write(m_replacement);
            changed = true;
            pos = match + f;
        }
        const std::size_t cut = std::max(pos, Leads().BoundaryAtOrBefore(line, pos, lastStart + 1));
        writer.Write(line, pos, cut - pos);
        line.erase(0, cut);
    }

private:
    const std::string& m_find;
    const std::string& m_replacement;
    bool m_caseSensitive;
    std::string m_needle;
};

} // namespace

DWORD RestartPlatform::PlatformId() {
    return ThePlatformVersion().PlatformId();
}

std::string RestartPlatform::WindowsFolder() {
    return TheSystemFolders().Windows();
}

bool RestartPlatform::MoveAtRestart(const std::string& source, const std::string& target) {
    if (target.empty())
        return MoveFileExA(source.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    return MoveFileExA(source.c_str(), target.c_str(),
                       MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) != FALSE;
}

Seam<RestartPlatform*>& RestartPlatformForTesting() {
    return g_platform;
}

RestartPlatform& CurrentRestartPlatform() {
    return *g_platform.Get();
}

Seam<LinePump>& LinePumpForTesting() {
    return g_pump;
}

bool ReplaceInTextFile(const std::string& path, const std::string& find,
                       const std::string& replacement, bool caseSensitive) {
    LineReader reader;
    if (!reader.Open(path))
        return false;
    if (find.empty())
        return true;
    TempFile temp;
    BufferedWriter writer;
    if (!temp.Create(writer))
        return false;

    const LongLineReplacer longLines(find, replacement, caseSensitive);
    bool changed = false;
    std::string line;
    const char* ending = "";
    for (;;) {
        const LineReader::Result r = reader.NextPiece(line, ending);
        if (r == LineReader::Failed)
            return false;
        if (r == LineReader::End)
            break;
        if (r == LineReader::Partial) {
            if (line.size() >= LongLineBytes)
                longLines.WriteDecided(line, writer, changed);
            continue;
        }
        Pump();
        if (FindText(line, find, caseSensitive) != TextNotFound) {
            writer.Write(ReplaceAll(line, find, replacement, caseSensitive));
            changed = true;
        } else {
            writer.Write(line);
        }
        writer.Write(ending);
        line.clear();
    }
    reader.Close();
    if (!writer.Close())
        return false;
    return !changed || CopyBack(temp.Path(), path, false);
}

bool ReplaceFileAtReboot(const std::string& newFile, const std::string& target) {
    const std::string folder = ParentOf(target);
    if (!folder.empty())
        CreateDirectoryTree(folder);
    const std::string staging = UniqueNameIn(folder);
    if (staging.empty() || !CopyFileA(newFile.c_str(), staging.c_str(), TRUE))
        return false;
    bool scheduled = false;
    if (g_platform.Get()->PlatformId() == 1) {
        const std::string shortTarget = ShortPathOf(target);
        const std::string shortStaging = ShortPathOf(staging);
        scheduled = !shortTarget.empty() && !shortStaging.empty() &&
                    ScheduleInWininit({"NUL=" + shortTarget, shortTarget + "=" + shortStaging});
    } else {
        scheduled = g_platform.Get()->MoveAtRestart(staging, target);
    }
    if (!scheduled) {
        SetFileAttributesA(staging.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(staging.c_str());
    }
    return scheduled;
}

bool DeleteFileAtReboot(const std::string& path) {
    if (g_platform.Get()->PlatformId() == 1) {
        const std::string shortPath = ShortPathOf(path);
        return !shortPath.empty() && ScheduleInWininit({"NUL=" + shortPath});
    }
    return g_platform.Get()->MoveAtRestart(path, std::string());
}

bool ReadIniSectionLines(const std::string& file, const std::string& section, TextList& lines,
                         bool keepAll) {
    lines.clear();
    LineReader reader;
    if (!reader.Open(file))
        return false;
    bool inside = false;
    std::string line;
    std::string name;
    const char* ending = "";
    for (;;) {
        const LineReader::Result r = reader.NextLine(line, ending);
        if (r == LineReader::Failed) {
            lines.clear();
            return false;
        }
        if (r == LineReader::End)
            return true;
        Pump();
        if (SectionName(line, name))
            inside = SameName(name, section);
        else if (inside && (keepAll || IsKeyLine(line)))
            lines.push_back(line);
    }
}

bool RemoveIniSections(const std::string& file, const TextList& sections) {
    return RewriteIni(file, sections, nullptr, TextList());
}

bool AppendIniSection(const std::string& section, const std::string& file, const TextList& lines) {
    KernelHandle handle(CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    unsigned long long size = 0;
    if (!handle.IsOpen() || !SizeOf(handle.Get(), size))
        return false;

    // The end of the last line decides what separates the new section from it.
    bool lastEnded = false;
    bool lastBlank = false;
    if (size > 0) {
        const DWORD want = size < TailBytes ? static_cast<DWORD>(size) : TailBytes;
        std::string tail(want, '\0');
        DWORD got = 0;
        if (!SeekTo(handle.Get(), size - want) ||
            !ReadFile(handle.Get(), &tail[0], want, &got, nullptr) || got != want)
            return false;
        lastEnded = tail.back() == '\n';
        std::size_t p = tail.size() - (lastEnded ? 1 : 0);
        if (lastEnded && p > 0 && tail[p - 1] == '\r')
            --p;
        while (p > 0 && IsBlank(tail[p - 1]))
            --p;
        lastBlank = p == 0 || tail[p - 1] == '\n';
    }

    std::string text = SectionSeparator(size == 0, lastEnded, lastBlank);
    text += "[" + section + "]" + LineBreak;
    for (const std::string& line : lines)
        text += line + LineBreak;
    if (!SeekTo(handle.Get(), size))
        return false;
    if (!WriteAll(handle.Get(), text.data(), text.size())) {
        if (SeekTo(handle.Get(), size))
            SetEndOfFile(handle.Get());
        return false;
    }
    return handle.Reset();
}

std::string GetIniValue(const std::string& file, const std::string& section,
                        const std::string& key) {
    const std::string wantedKey = Trimmed(key);
    const std::string wantedSection = Trimmed(section);
    if (wantedKey.empty())
        return {};
    LineReader reader;
    if (!reader.Open(file))
        return {};
    bool inside = wantedSection.empty();
    std::string line;
    std::string name;
    const char* ending = "";
    for (;;) {
        const LineReader::Result r = reader.NextLine(line, ending);
        if (r != LineReader::Complete)
            return {};
        Pump();
        if (SectionName(line, name)) {
            if (wantedSection.empty())
                continue;
            if (inside)
                return {};
            inside = SameName(name, wantedSection);
            continue;
        }
        if (!inside)
            continue;
        const std::size_t equals = FindText(line, "=", true);
        if (equals != TextNotFound && EqualText(Trimmed(line.substr(0, equals)), wantedKey, false))
            return Trimmed(line.substr(equals + 1));
    }
}
