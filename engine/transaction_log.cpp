#include "transaction_log.h"

#include <cstdio>
#include <cstdlib>

#include "setup/core/fileutil.h"
#include "setup/core/handles.h"
#include "setup/core/text.h"

#ifdef TARVO_COUNT_LOG_FLUSHES
// Measurement only (the benchmarks' build of the engine, never the product): every flush of the
// log is counted and timed, and the totals are appended to the file the environment variable
// TARVO_FLUSH_REPORT names when the process ends, as "flushes <n> microseconds <m>".
namespace {

struct FlushCounter {
    long flushes = 0;
    LONGLONG ticks = 0;
    ~FlushCounter() {
        char path[MAX_PATH];
        DWORD n = GetEnvironmentVariableA("TARVO_FLUSH_REPORT", path, sizeof path);
        if (n == 0 || n >= sizeof path)
            return;
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        OutputFile report;
        if (report.Append(path))
            report.Write("flushes " + std::to_string(flushes) + " microseconds " +
                         std::to_string(ticks * 1000000 / frequency.QuadPart) + "\r\n");
    }
} flushCounter;

bool CountedFlush(OutputFile& file) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const bool done = file.Flush();
    QueryPerformanceCounter(&end);
    ++flushCounter.flushes;
    flushCounter.ticks += end.QuadPart - start.QuadPart;
    return done;
}

} // namespace
#define TARVO_FLUSH(file) CountedFlush(file)
#else
#define TARVO_FLUSH(file) (file).Flush()
#endif

namespace {

// The words of a line separated by single blanks.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type blank = text.find(' ', start);
        words.push_back(text.substr(start, blank - start));
        if (blank == std::string::npos)
            return words;
        start = blank + 1;
    }
}

bool WholeNumber(const std::string& text, long& number) {
    if (text.empty())
        return false;
    char* end = nullptr;
    number = std::strtol(text.c_str(), &end, 10);
    return *end == '\0';
}

// A saved item as one word: <letter>:<field>:<field>..., text fields in hexadecimal.
std::string SavedWord(const Saved& s) {
    switch (s.kind) {
    case Saved::Kind::File:
        return "F:" + std::string(s.existed ? "1" : "0") + ":" +
               BytesToHex(s.path, HexLayout::Packed) + ":" + BytesToHex(s.aside, HexLayout::Packed);
    case Saved::Kind::Folder:
        return "D:" + BytesToHex(s.path, HexLayout::Packed) + ":" +
               BytesToHex(s.created, HexLayout::Packed);
    case Saved::Kind::RegValue:
        return "V:" + BytesToHex(s.root, HexLayout::Packed) + ":" +
               BytesToHex(s.path, HexLayout::Packed) + ":" + BytesToHex(s.name, HexLayout::Packed) +
               ":" + (s.existed ? "1" : "0") + ":" + std::to_string(s.type) + ":" +
               BytesToHex(s.bytes, HexLayout::Packed);
    case Saved::Kind::RegKey:
        return "K:" + BytesToHex(s.root, HexLayout::Packed) + ":" +
               BytesToHex(s.path, HexLayout::Packed) + ":" +
               BytesToHex(s.created, HexLayout::Packed);
    case Saved::Kind::RestartList:
        return "R:" + std::to_string(s.type) + ":" + (s.existed ? "1" : "0") + ":" +
               BytesToHex(s.bytes, HexLayout::Packed);
    }
    return "";
}

bool ParseSaved(const std::string& word, Saved& s) {
    std::vector<std::string> f;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type colon = word.find(':', start);
        f.push_back(word.substr(start, colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    long number = 0;
    if (f[0] == "F" && f.size() == 4) {
        s.kind = Saved::Kind::File;
        s.existed = f[1] == "1";
        return HexToBytes(f[2], HexLayout::Packed, s.path) &&
               HexToBytes(f[3], HexLayout::Packed, s.aside);
    }
    if (f[0] == "D" && f.size() == 3) {
        s.kind = Saved::Kind::Folder;
        return HexToBytes(f[1], HexLayout::Packed, s.path) &&
               HexToBytes(f[2], HexLayout::Packed, s.created);
    }
    if (f[0] == "V" && f.size() == 7 && WholeNumber(f[5], number)) {
        s.kind = Saved::Kind::RegValue;
        s.existed = f[4] == "1";
        s.type = static_cast<DWORD>(number);
        return HexToBytes(f[1], HexLayout::Packed, s.root) &&
               HexToBytes(f[2], HexLayout::Packed, s.path) &&
               HexToBytes(f[3], HexLayout::Packed, s.name) &&
               HexToBytes(f[6], HexLayout::Packed, s.bytes);
    }
    if (f[0] == "K" && f.size() == 4) {
        s.kind = Saved::Kind::RegKey;
        return HexToBytes(f[1], HexLayout::Packed, s.root) &&
               HexToBytes(f[2], HexLayout::Packed, s.path) &&
               HexToBytes(f[3], HexLayout::Packed, s.created);
    }
    if (f[0] == "R" && f.size() == 4 && WholeNumber(f[1], number)) {
        s.kind = Saved::Kind::RestartList;
        s.type = static_cast<DWORD>(number);
        s.existed = f[2] == "1";
        return HexToBytes(f[3], HexLayout::Packed, s.bytes);
    }
    return false;
}

} // namespace

std::string IntentLine(const LoggedStep& step) {
    const char* word = step.role == StepRole::Inherited ? "inherited "
                       : step.role == StepRole::Removal ? "removal "
                                                        : "intent ";
    std::string line =
        word + std::to_string(step.number) + " " + step.className + " " + step.component;
    for (const Saved& s : step.saved)
        line += " " + SavedWord(s);
    return line + " . " + step.record + "\r\n";
}

namespace {

const char* MeaningLetter(StepMeaning meaning) {
    switch (meaning) {
    case StepMeaning::Done:
        return "D";
    case StepMeaning::NothingToDo:
        return "N";
    case StepMeaning::Failed:
        return "F";
    }
    return "F";
}

std::string StampWord(const FileStamp& stamp) {
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08lx", static_cast<unsigned long>(stamp.checksum));
    return "S:" + std::to_string(stamp.size) + ":" + sum;
}

bool ParseStamp(const std::string& word, FileStamp& stamp) {
    if (word.compare(0, 2, "S:") != 0)
        return false;
    const std::string rest = word.substr(2);
    const std::string::size_type colon = rest.find(':');
    if (colon == std::string::npos || colon == 0 || rest.size() - colon - 1 != 8)
        return false;
    char* end = nullptr;
    const unsigned long size = std::strtoul(rest.c_str(), &end, 10);
    if (end != rest.c_str() + colon)
        return false;
    const std::string sum = rest.substr(colon + 1);
    const unsigned long checksum = std::strtoul(sum.c_str(), &end, 16);
    if (*end != '\0' || sum.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    stamp.known = true;
    stamp.size = static_cast<std::uint32_t>(size);
    stamp.checksum = static_cast<std::uint32_t>(checksum);
    return true;
}

} // namespace

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    stamp.known = FileSize(path, stamp.size) && FileChecksum(path, stamp.checksum);
    return stamp;
}

bool SameStamp(const FileStamp& a, const FileStamp& b) {
    return a.known && b.known && a.size == b.size && a.checksum == b.checksum;
}

bool MatchesStamp(const std::string& path, const FileStamp& stamp) {
    const FileStamp now = StampOf(path);
    if (now.known)
        return SameStamp(now, stamp);
    // Held open without sharing, the file cannot be read: its size is all there is to compare.
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA(path.c_str(), &data));
    return find && data.nFileSizeHigh == 0 && data.nFileSizeLow == stamp.size;
}

std::string OutcomeLine(int number, int status, StepMeaning meaning, const std::string& record,
                        const FileStamp& stamp) {
    return "outcome " + std::to_string(number) + " " + std::to_string(status) + " " +
           MeaningLetter(meaning) + (stamp.known ? " " + StampWord(stamp) : std::string()) + " . " +
           record + "\r\n";
}

std::string CreatedLine(const std::string& folder) {
    return "created " + BytesToHex(folder, HexLayout::Packed) + "\r\n";
}

bool ReadTransactionLog(const std::string& path, TransactionLog& log, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = path + ": cannot be read";
        return false;
    }
    log = TransactionLog();
    std::vector<std::string> lines = SplitLines(text, log.torn);
    if (log.torn)
        lines.pop_back();
    int number = 0;
    for (const std::string& line : lines) {
        ++number;
        auto fail = [&](const std::string& reason) {
            error = path + "(" + std::to_string(number) + "): " + reason;
            return false;
        };
        if (line.empty() || line[0] == '#')
            continue;
        const std::string word = TextBefore(line, " ");
        if (line.find(' ') == std::string::npos) {
            if (line != "commit")
                return fail("unknown line");
            log.committed = true;
        } else if (word == "context" || word == "variable" || word == "macro" ||
                   word == "component" || word == "plugin" || word == "version" ||
                   word == "replaces" || word == "repairs") {
            log.header.push_back(line);
        } else if (word == "created") {
            std::string folder;
            if (!HexToBytes(TextAfter(line, " "), HexLayout::Packed, folder))
                return fail("a folder that is not hexadecimal text");
            log.createdFolders.push_back(folder);
        } else if (word == "intent" || word == "inherited" || word == "removal") {
            std::string::size_type dot = line.find(" . ");
            if (dot == std::string::npos)
                return fail("an intent without its record");
            std::vector<std::string> words = Words(line.substr(0, dot));
            long n = 0;
            if (words.size() < 4 || !WholeNumber(words[1], n))
                return fail("an intent without number, class and component");
            LoggedStep step;
            step.number = static_cast<int>(n);
            step.role = word == "inherited" ? StepRole::Inherited
                        : word == "removal" ? StepRole::Removal
                                            : StepRole::Install;
            step.className = words[2];
            step.component = words[3];
            step.record = line.substr(dot + 3);
            for (std::size_t i = 4; i < words.size(); ++i) {
                Saved s;
                if (!ParseSaved(words[i], s))
                    return fail("a saved state that cannot be read: " + words[i]);
                step.saved.push_back(s);
            }
            log.steps.push_back(step);
        } else if (word == "outcome") {
            std::string::size_type dot = line.find(" . ");
            std::vector<std::string> words = Words(line.substr(0, dot));
            long n = 0;
            long status = 0;
            FileStamp stamp;
            if (dot == std::string::npos || (words.size() != 4 && words.size() != 5) ||
                !WholeNumber(words[1], n) || !WholeNumber(words[2], status) ||
                (words[3] != "D" && words[3] != "N" && words[3] != "F") ||
                (words.size() == 5 && !ParseStamp(words[4], stamp)))
                return fail("an outcome is \"outcome <step> <status> <D|N|F> "
                            "[S:<size>:<checksum>] . <record>\"");
            LoggedStep* step = nullptr;
            for (LoggedStep& s : log.steps)
                if (s.number == n)
                    step = &s;
            if (!step)
                return fail("an outcome without its intent");
            step->hasOutcome = true;
            step->status = static_cast<int>(status);
            step->meaning = words[3] == "D"   ? StepMeaning::Done
                            : words[3] == "N" ? StepMeaning::NothingToDo
                                              : StepMeaning::Failed;
            step->recordAfter = line.substr(dot + 3);
            step->stamp = stamp;
            log.stamped = log.stamped || stamp.known;
        } else {
            return fail("unknown line");
        }
    }
    return true;
}

bool TransactionWriter::Begin(const std::string& path, const std::vector<std::string>& header) {
    if (!file_.Create(path))
        return false;
    std::string text = "# transaction log: the engine's settings, then each step's intent and "
                       "outcome\r\n";
    for (const std::string& line : header)
        text += line + "\r\n";
    return file_.Write(text) && TARVO_FLUSH(file_);
}

namespace {

bool WriteRecord(OutputFile& file, const std::string& line, bool flush) {
    return file.Write(line) && (!flush || TARVO_FLUSH(file));
}

Seam<LogRecordWriter> g_recordWriter{&WriteRecord};

} // namespace

Seam<LogRecordWriter>& LogRecordWriterForTesting() {
    return g_recordWriter;
}

bool TransactionWriter::Write(const std::string& line, bool flush) {
    return g_recordWriter.Get()(file_, line, flush);
}

bool TransactionWriter::Announce(const LoggedStep& step) {
    return Write(IntentLine(step), true);
}

bool TransactionWriter::Stage(const LoggedStep& step) {
    return Write(IntentLine(step), false);
}

bool TransactionWriter::Sync() {
    return TARVO_FLUSH(file_);
}

bool TransactionWriter::Record(int number, int status, StepMeaning meaning,
                               const std::string& record, const FileStamp& stamp) {
    return Write(OutcomeLine(number, status, meaning, record, stamp), false);
}

bool TransactionWriter::Note(const std::string& line) {
    return file_.Write(line) && TARVO_FLUSH(file_);
}

bool TransactionWriter::Commit() {
    return file_.Write(CommitLine) && TARVO_FLUSH(file_);
}
