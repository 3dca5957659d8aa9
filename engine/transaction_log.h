// The engine's transaction log: one text file per installation that is written while the
// installation runs and becomes its uninstall log when the installation commits.
//
//   # a comment line
//   context <name>=<value>          the macro context the elements expand their fields in
//   variable <name>=<value>
//   macro <custom macro record>
//   component <component record>
//   version <version>               the product's version (the description's [Product] Version)
//   replaces <version>              an upgrade: the version of the installation it replaces
//   repairs <version>               a repair of the installation of that version
//   created <hex folder>            a folder the engine made for the log itself
//   intent <n> <class> <component> <saved>... . <full record>
//   inherited <n> <class> <component> <saved>... . <full record>
//   removal <n> <class> <component> <saved>... . <full record>
//   outcome <n> <status> <D|N|F> [S:<size>:<checksum>] . <full record>
//   commit
//
// An intent is written and flushed before step <n> changes the machine; it carries the element's
// full record and what the record cannot: the state of every file, folder, registry value and
// key the step may change, as it was before the step (see Saved). The outcome follows the step:
// the element's status, what the engine made of it (Done, Nothing to do, Failed) and the record
// as the step left it, which is what removal rebuilds the element from. The outcome of a file
// kind's step that put a file in place also carries that file's size and checksum (the file
// utilities' checksum, eight hexadecimal digits): removal and rollback delete the file only while
// it is still that one. Logs written before outcomes carried it are read all the same.
// A log without "commit" is an installation that did not finish: it is rolled back.
//
// An upgrade's log begins with the steps of the installation it replaces, as "inherited" lines
// (each with its outcome): the states they saved are those before the first installation, so that
// removal, which runs back through them after the upgrade's own steps, leaves the machine as it
// was before that. A rollback leaves them alone: they are the older installation, which stays.
// A "removal" line announces a step that takes away an element of the replaced installation that
// the new version no longer has; its saved states are the element's as it was installed, which a
// rollback puts back, and removal and checking pass over it.
//
// Every line ends with "\r\n". The last line of a log cut short by a crash has no line end: the
// reader drops it (an intent that never reached the disk whole announces a step that never
// started, because the step waits for the flush).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "file_io.h"
#include "setup/core/element.h"
#include "setup/core/seam.h"

// The size and checksum of a file a step put in place (`known` false: none recorded).
struct FileStamp {
    bool known = false;
    std::uint32_t size = 0;
    std::uint32_t checksum = 0;
};

// The stamp of the file at `path` now; `known` false when it cannot be read.
FileStamp StampOf(const std::string& path);
// Whether two stamps name the same content.
bool SameStamp(const FileStamp& a, const FileStamp& b);
// Whether the file at `path` is still the one `stamp` names (a file that another process holds
// without sharing compares by its size alone).
bool MatchesStamp(const std::string& path, const FileStamp& stamp);

// One thing as it was before a step.
struct Saved {
    enum class Kind { File, Folder, RegValue, RegKey, RestartList };
    Kind kind = Kind::File;
    // File: the path; whether a file was there; the kept-aside copy of it ("" when none).
    // Folder: the deepest folder the step may create, and the shallowest of its levels that did
    // not exist (`path` .. `created` were made by the step).
    // RegValue: root name, key path, value name; whether it existed, its type and its bytes.
    // RegKey: root name, the deepest key, and the shallowest of its levels that did not exist.
    // RestartList: what waited for the restart (restart.h): the platform id whose list it is
    // (type), whether the list's file or value existed, its items one per line (bytes).
    std::string root;
    std::string path;
    std::string name;
    std::string aside;
    std::string created;
    bool existed = false;
    DWORD type = 0;
    std::string bytes;
};

// What a logged step does (see the lines above).
enum class StepRole { Install, Inherited, Removal };

struct LoggedStep {
    int number = 0;
    StepRole role = StepRole::Install;
    std::string className;
    std::string component;
    std::string record;
    std::vector<Saved> saved;
    bool hasOutcome = false;
    int status = 0;
    StepMeaning meaning = StepMeaning::Failed;
    std::string recordAfter; // the record as the step left it
    FileStamp stamp;         // the file the step put in place, when the outcome names one
};

struct TransactionLog {
    std::vector<std::string> header; // context, variable, macro and component lines as written
    std::vector<std::string> createdFolders;
    std::vector<LoggedStep> steps; // in the order of their intents
    bool committed = false;
    bool torn = false;    // the last line had no line end and was dropped
    bool stamped = false; // some outcome carries a file's stamp: the log was written with them
};

// Reads a log. False with "<file>(<line>): <reason>" when it cannot be read or a whole line is
// not one the log writes.
[[nodiscard]] bool ReadTransactionLog(const std::string& path, TransactionLog& log,
                                      std::string& error);

// The lines, each with its "\r\n".
std::string IntentLine(const LoggedStep& step);
std::string OutcomeLine(int number, int status, StepMeaning meaning, const std::string& record,
                        const FileStamp& stamp = FileStamp());
std::string CreatedLine(const std::string& folder);
const char* const CommitLine = "commit\r\n";

// Writes the log of one installation: Begin creates it with its header; every Announce is on
// the disk when it returns true.
//
// Steps may share a flush: Stage writes an intent without flushing it, and Sync puts everything
// written so far on the disk. A staged step must not run before a Sync that returned true; a
// batch of steps whose intents are staged and then synced once pays one flush instead of one per
// step. The steps of a batch must not touch what an earlier step of the same batch touches (see
// SharesState in undo.h): each one's state is saved before any of them runs.
class TransactionWriter {
public:
    [[nodiscard]] bool Begin(const std::string& path, const std::vector<std::string>& header);
    [[nodiscard]] bool Announce(const LoggedStep& step); // the intent, flushed
    [[nodiscard]] bool Stage(const LoggedStep& step);    // the intent, not yet flushed
    [[nodiscard]] bool Sync();                           // what was written, flushed
    // The outcome; it reaches the disk with the next intent or the commit.
    [[nodiscard]] bool Record(int number, int status, StepMeaning meaning,
                              const std::string& record, const FileStamp& stamp = FileStamp());
    [[nodiscard]] bool Note(const std::string& line); // any other line, flushed
    [[nodiscard]] bool Commit();                      // "commit", flushed

private:
    bool Write(const std::string& line, bool flush);

    OutputFile file_;
};

// How an intent or outcome line reaches the log's file (flushed when `flush`); the tests of
// recovery put a writer in its place that ends the process at a chosen record.
using LogRecordWriter = bool (*)(OutputFile& file, const std::string& line, bool flush);
Seam<LogRecordWriter>& LogRecordWriterForTesting();
