#include "setup/core/disk_set.h"

#include <map>

#include "setup/core/line_file.h"
#include "setup/core/path.h"
#include "setup/core/text.h"

namespace {

// The loader's words for a prompt and for giving up, so that both ask alike.
constexpr char PromptText[] =
    "Please insert Diskette %1 containing %2 into drive (%3) and press any key when ready.";
constexpr char GiveUpText[] =
    "Your installation is not completed yet and your programs may not work properly we strongly "
    "recommend to let the setup to complete. Do you want to cancel it anyway?";

struct DiskSet {
    bool loaded = false;
    std::string folder; // <S>, without a trailing backslash
    std::string caption;
    std::string serial;
    std::vector<std::string> labels;          // [n - 1] for diskette n
    std::map<std::string, DiskSetFile> files; // upper-cased path below the folder
};

DiskSet& TheSet() {
    static DiskSet set;
    return set;
}

bool AskWithMessageBox(const std::string& text, const std::string& caption) {
    if (MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OKCANCEL | MB_ICONINFORMATION) ==
        IDOK)
        return true;
    return MessageBoxA(nullptr, GiveUpText, caption.c_str(), MB_YESNO | MB_ICONEXCLAMATION) !=
           IDYES;
}

Seam<DiskPrompt> g_prompt(&AskWithMessageBox);

KernelHandle OpenForReading(const std::string& path) {
    return KernelHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The next blank-separated field of `line` from `pos`; false when there is none.
bool NextField(const std::string& line, std::size_t& pos, std::string& field) {
    if (pos >= line.size())
        return false;
    const std::size_t blank = line.find(' ', pos);
    field = line.substr(pos, blank == std::string::npos ? std::string::npos : blank - pos);
    pos = blank == std::string::npos ? line.size() : blank + 1;
    return !field.empty();
}

bool ToNumber(const std::string& text, unsigned long long limit, unsigned long long& value) {
    if (text.empty() || text.size() > 20)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > limit)
            return false;
    }
    return true;
}

bool ToU32(const std::string& text, std::uint32_t& value) {
    unsigned long long v = 0;
    if (!ToNumber(text, 0xFFFFFFFFull, v))
        return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

bool ParseParts(const std::string& text, int disks, DiskSetFile& file) {
    TextList pieces;
    SplitText(text, pieces, ',');
    std::uint64_t total = 0;
    for (const std::string& piece : pieces) {
        const std::size_t colon = piece.find(':');
        unsigned long long disk = 0;
        DiskPart part;
        if (colon == std::string::npos ||
            !ToNumber(piece.substr(0, colon), static_cast<unsigned>(disks), disk) || disk == 0 ||
            !ToU32(piece.substr(colon + 1), part.bytes))
            return false;
        part.disk = static_cast<int>(disk);
        if (!file.parts.empty() && part.disk <= file.parts.back().disk)
            return false; // parts follow the diskettes' order
        total += part.bytes;
        file.parts.push_back(part);
    }
    return !file.parts.empty() && total <= 0xFFFFFFFFull;
}

// One "file" line after its key word.
bool ParseFile(const std::string& line, std::size_t pos, int disks, std::string& path,
               DiskSetFile& file) {
    std::string form, fields[5], parts;
    if (!NextField(line, pos, form) || (form != "z" && form != "p"))
        return false;
    std::uint32_t numbers[5] = {};
    for (int i = 0; i < 5; ++i)
        if (!NextField(line, pos, fields[i]) || !ToU32(fields[i], numbers[i]))
            return false;
    if (!NextField(line, pos, parts) || !ParseParts(parts, disks, file) || pos >= line.size())
        return false;
    path = line.substr(pos);
    file.compressed = form == "z";
    file.header.size = numbers[0];
    file.header.crc = numbers[1];
    file.header.checksum = numbers[2];
    file.header.written.dwLowDateTime = numbers[3];
    file.header.written.dwHighDateTime = numbers[4];
    return true;
}

bool ParseLine(const std::string& line, DiskSet& set) {
    std::size_t pos = 0;
    std::string word, field;
    if (!NextField(line, pos, word))
        return false;
    if (word == "set")
        return set.serial.empty() && NextField(line, pos, set.serial) && set.serial.size() == 8 &&
               pos == line.size();
    if (word == "disk") {
        unsigned long long n = 0;
        if (!NextField(line, pos, field) || !ToNumber(field, 99, n) || n != set.labels.size() + 1 ||
            !NextField(line, pos, field) || pos != line.size() || field.size() > 11)
            return false;
        set.labels.push_back(field);
        return true;
    }
    if (word == "file") {
        std::string path;
        DiskSetFile file;
        if (set.labels.empty() ||
            !ParseFile(line, pos, static_cast<int>(set.labels.size()), path, file))
            return false;
        return set.files.emplace(Uppercased(path), file).second;
    }
    return false;
}

// The path below the set's folder, upper-cased; empty when the path lies elsewhere.
std::string KeyOf(const DiskSet& set, const std::string& path) {
    const std::size_t n = set.folder.size();
    if (path.size() <= n + 1 || path[n] != '\\' || !EqualText(path.substr(0, n), set.folder, false))
        return std::string();
    return Uppercased(path.substr(n + 1));
}

bool DiskIsIn(const DiskSet& set, int disk) {
    linefile::Reader reader;
    std::string line;
    const char* ending = nullptr;
    if (!reader.Open(JoinPath(set.folder, DiskIdName, false)) ||
        reader.NextLine(line, ending) != linefile::Reader::Complete)
        return false;
    return line == set.labels[static_cast<std::size_t>(disk - 1)] + " " + set.serial;
}

} // namespace

DiskSetLoad LoadDiskSet(const std::string& folder, const std::string& caption,
                        std::string& problem) {
    ForgetDiskSet();
    DiskSet set;
    set.folder = StripTrailingDelimiter(folder, "\\");
    set.caption = caption;
    const std::string list = JoinPath(set.folder, DiskSetListName, false);
    if (WhatIsAt(list) == PathKind::Nothing)
        return DiskSetLoad::None;
    linefile::Reader reader;
    if (!reader.Open(list)) {
        problem = list + ": cannot be read";
        return DiskSetLoad::Damaged;
    }
    std::string line;
    const char* ending = nullptr;
    int number = 0;
    for (;;) {
        const linefile::Reader::Result r = reader.NextLine(line, ending);
        if (r == linefile::Reader::End)
            break;
        ++number;
        if (r == linefile::Reader::Failed) {
            problem = list + ": cannot be read";
            return DiskSetLoad::Damaged;
        }
        if (!line.empty() && !ParseLine(line, set)) {
            problem = list + "(" + std::to_string(number) + "): not a line of a diskette set";
            return DiskSetLoad::Damaged;
        }
    }
    if (set.serial.empty() || set.labels.empty()) {
        problem = list + ": names no set or no diskette";
        return DiskSetLoad::Damaged;
    }
    set.loaded = true;
    TheSet() = std::move(set);
    return DiskSetLoad::Loaded;
}

void ForgetDiskSet() {
    TheSet() = DiskSet();
}

const DiskSetFile* DiskSetFileOf(const std::string& path) {
    const DiskSet& set = TheSet();
    if (!set.loaded)
        return nullptr;
    const std::string key = KeyOf(set, path);
    if (key.empty())
        return nullptr;
    const auto found = set.files.find(key);
    return found == set.files.end() ? nullptr : &found->second;
}

std::string DiskLabelOf(int disk) {
    const DiskSet& set = TheSet();
    if (disk < 1 || static_cast<std::size_t>(disk) > set.labels.size())
        return std::string();
    return set.labels[static_cast<std::size_t>(disk - 1)];
}

DiskAnswer EnsureDisk(int disk, const std::string& path) {
    const DiskSet& set = TheSet();
    if (!set.loaded || DiskIsIn(set, disk))
        return DiskAnswer::Inserted;
    std::string text = ReplaceFirst(PromptText, "%2", FileNameOf(path), false);
    text = ReplaceFirst(text, "%3", PathRootText(set.folder, true), false);
    text = ReplaceFirst(text, "%1", DiskLabelOf(disk), false);
    do {
        if (!g_prompt.Get()(text, set.caption))
            return DiskAnswer::GaveUp;
    } while (!DiskIsIn(set, disk));
    return DiskAnswer::Inserted;
}

DiskAnswer ReachMediumFile(const std::string& path) {
    if (const DiskSetFile* file = DiskSetFileOf(path))
        return EnsureDisk(file->parts.front().disk, path);
    const DiskSet& set = TheSet();
    return set.loaded && !KeyOf(set, path).empty() ? EnsureDisk(1, path) : DiskAnswer::Inserted;
}

Seam<DiskPrompt>& DiskPromptForTesting() {
    return g_prompt;
}

bool MediumReader::Open(const std::string& path) {
    m_path = path;
    m_entry = DiskSetFileOf(path);
    m_part = 0;
    m_file = OpenForReading(path);
    if (m_entry)
        m_left = m_entry->parts.front().bytes;
    return m_file.IsOpen();
}

MediumReader::Result MediumReader::NextPart() {
    // The part just read must end where the list says.
    unsigned char probe = 0;
    DWORD extra = 0;
    if (!ReadFile(m_file.Get(), &probe, 1, &extra, nullptr))
        return Failed;
    if (extra != 0)
        return Damaged;
    m_file.Reset();
    ++m_part;
    const DiskPart& part = m_entry->parts[m_part];
    if (EnsureDisk(part.disk, m_path) == DiskAnswer::GaveUp)
        return NotInserted;
    m_file = OpenForReading(m_path);
    m_left = part.bytes;
    return m_file.IsOpen() ? Ok : Failed;
}

MediumReader::Result MediumReader::Read(void* buffer, unsigned long size, unsigned long& got) {
    got = 0;
    if (!m_entry) {
        DWORD read = 0;
        if (!ReadFile(m_file.Get(), buffer, size, &read, nullptr))
            return Failed;
        got = read;
        return Ok;
    }
    while (m_left == 0 && m_part + 1 < m_entry->parts.size()) {
        const Result next = NextPart();
        if (next != Ok)
            return next;
    }
    if (m_left == 0) {
        unsigned char probe = 0;
        DWORD extra = 0;
        if (!ReadFile(m_file.Get(), &probe, 1, &extra, nullptr))
            return Failed;
        return extra == 0 ? Ok : Damaged;
    }
    const DWORD want = size < m_left ? size : m_left;
    DWORD read = 0;
    if (!ReadFile(m_file.Get(), buffer, want, &read, nullptr))
        return Failed;
    if (read == 0)
        return Damaged; // shorter than the list says
    m_left -= read;
    got = read;
    return Ok;
}
