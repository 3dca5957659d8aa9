// Text files as lines of bytes: the line reader, the checked writer, the copy back over the
// original, and the search-and-replace built on them.
#include "setup/core/line_file.h"

#include <algorithm>
#include <cstring>

#include "setup/core/fileutil.h"
#include "setup/core/path.h"
#include "setup/core/process.h"
#include "setup/core/text.h"

namespace {

// A line that grows past this size while it is read is searched and written in pieces, so a
// line of any length needs only this much memory.
constexpr std::size_t LongLineBytes = 1024 * 1024;

Seam<LinePump> g_pump{&PumpOneMessage};

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

// Copies `source` over `target` (opened without sharing): the new size is reserved first, so a
// failure to get the room leaves the target as it was. `create`: the target did not exist before.
bool WriteOver(const std::string& source, const std::string& target, bool create) {
    using namespace linefile;
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

// Searches the pieces of a long line as they arrive: writes everything before the point where
// a match could still straddle into bytes not yet read, and keeps the rest in `line`.
class LongLineReplacer {
public:
    LongLineReplacer(const std::string& find, const std::string& replacement, bool caseSensitive)
        : m_find(find), m_replacement(replacement), m_caseSensitive(caseSensitive),
          m_needle(caseSensitive ? find : Uppercased(find)) {}

    void WriteDecided(std::string& line, linefile::Writer& writer, bool& changed) const {
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

namespace linefile {

const char LineBreak[] = "\r\n";

void Pump() {
    g_pump.Get()();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

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

bool Reader::Open(const std::string& path) {
    m_file.Reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return m_file.IsOpen();
}

Reader::Result Reader::NextPiece(std::string& out, const char*& ending) {
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

Reader::Result Reader::NextLine(std::string& line, const char*& ending) {
    line.clear();
    for (;;) {
        Result r = NextPiece(line, ending);
        if (r != Partial)
            return r;
    }
}

bool Reader::Fill() {
    m_pos = m_end = 0;
    DWORD got = 0;
    if (!ReadFile(m_file.Get(), m_block.data(), BlockSize, &got, nullptr))
        return false;
    m_end = got;
    return true;
}

bool Writer::Create(const std::string& path) {
    m_file.Reset(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file.IsOpen();
}

void Writer::Write(const char* data, std::size_t size) {
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

bool Writer::Close() {
    Flush();
    const bool closed = m_file.Reset();
    return m_ok && closed;
}

void Writer::Flush() {
    if (m_ok && !m_buffer.empty())
        m_ok = WriteAll(m_file.Get(), m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

TempFile::~TempFile() {
    if (!m_path.empty())
        DeleteFileA(m_path.c_str());
}

bool TempFile::Create(Writer& writer) {
    for (int attempt = 0; attempt < UniqueNameAttempts; ++attempt) {
        const std::string name = TempFileName();
        if (name.empty())
            return false;
        const std::string folder = ParentOf(name);
        if (!folder.empty())
            (void)CreateDirectoryTree(folder); // a missing folder fails the create below
        if (writer.Create(name)) {
            m_path = name;
            return true;
        }
        if (!NameWasTaken(GetLastError()))
            return false;
    }
    return false;
}

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

} // namespace linefile

Seam<LinePump>& LinePumpForTesting() {
    return g_pump;
}

bool ReplaceInTextFile(const std::string& path, const std::string& find,
                       const std::string& replacement, bool caseSensitive) {
    using namespace linefile;
    Reader reader;
    if (!reader.Open(path))
        return false;
    if (find.empty())
        return true;
    TempFile temp;
    Writer writer;
    if (!temp.Create(writer))
        return false;

    const LongLineReplacer longLines(find, replacement, caseSensitive);
    bool changed = false;
    std::string line;
    const char* ending = "";
    for (;;) {
        const Reader::Result r = reader.NextPiece(line, ending);
        if (r == Reader::Failed)
            return false;
        if (r == Reader::End)
            break;
        if (r == Reader::Partial) {
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
