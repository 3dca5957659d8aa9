// Text files as lines of bytes: the reader, the checked writer and the copy back over the
// original that text and INI editing are built on.
//
// Text files are handled as bytes: lines of any length stay whole (a line is never cut, and a
// match is found wherever it lies in it), every line keeps its own line ending (CR LF, a lone LF,
// or none on the last line), and Ctrl-Z or NUL bytes are kept as data. A lone CR is data, not a
// line ending. Lines written by the editing units end with CR LF. Every line loop dispatches one
// pending window message per line (see LinePumpForTesting), so window procedures of the calling
// thread may run inside these calls.
//
// Rewrites go to a temporary file (TempFileName) that is copied over the original only when
// every read, write and close succeeded; the copy opens the original without sharing and
// reserves the new size before it writes, so a file in use, or a volume without room, leaves the
// original byte for byte as it was. A file whose edit changes nothing is not rewritten.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "setup/core/handles.h"
#include "setup/core/seam.h"

// Replaces every occurrence of `find` by `replacement` in every line of the file (an empty
// `find` changes nothing). False, with the file unchanged, when it cannot be read or the edit
// cannot be written back (a file held open without write sharing, for example). The file keeps
// its attributes (a read-only file stays read-only).
[[nodiscard]] bool ReplaceInTextFile(const std::string& path, const std::string& find,
                                     const std::string& replacement, bool caseSensitive);

// The call made once per line (and per block of a copy back): PumpOneMessage.
using LinePump = void (*)();
Seam<LinePump>& LinePumpForTesting();

// The pieces the editing units share.
namespace linefile {

// Files are read, written and copied in blocks of this size.
constexpr DWORD BlockSize = 64 * 1024;

// The line break of every line the editing units write.
extern const char LineBreak[];

// Runs the line pump once (see LinePumpForTesting).
void Pump();

// A blank within a line: space or tab.
bool IsBlank(char c);

// Moves the file pointer; false when the platform refuses.
[[nodiscard]] bool SeekTo(HANDLE file, unsigned long long offset);
// The file's size; false when the platform cannot tell it.
[[nodiscard]] bool SizeOf(HANDLE file, unsigned long long& size);
// Writes every byte (in pieces the platform accepts); false when a write falls short.
[[nodiscard]] bool WriteAll(HANDLE file, const char* data, std::size_t size);

// Reads a file as lines of bytes. A line arrives whole (NextLine) or in pieces (NextPiece), with
// its own line ending: "\r\n", "\n", or "" for a last line without one. The file is opened with
// read and write sharing, so a file another program is writing can still be read.
class Reader {
public:
    enum Result { Partial, Complete, End, Failed };

    [[nodiscard]] bool Open(const std::string& path);
    void Close() { m_file.Reset(); }

    // Appends the next bytes of the current line to `out`: Partial when the line goes on,
    // Complete with `ending` set when it ended, End when there are no more lines.
    [[nodiscard]] Result NextPiece(std::string& out, const char*& ending);
    // The next whole line (without its ending) in `line`.
    [[nodiscard]] Result NextLine(std::string& line, const char*& ending);

private:
    [[nodiscard]] bool Fill();

    KernelHandle m_file;
    std::vector<char> m_block = std::vector<char>(BlockSize);
    DWORD m_pos = 0;
    DWORD m_end = 0;
    bool m_lineOpen = false;
    bool m_pendingCr = false;
};

// A new file written through a buffer; every write and the close are checked. After a failed
// write every later one is dropped, and Close answers false.
class Writer {
public:
    // Creates the file, which must not exist yet.
    [[nodiscard]] bool Create(const std::string& path);
    void Write(const char* data, std::size_t size);
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    void Write(const std::string& text, std::size_t from, std::size_t count) {
        Write(text.data() + from, count);
    }
    // True when everything written reached the file and the file was closed.
    [[nodiscard]] bool Close();

private:
    void Flush();

    KernelHandle m_file;
    std::string m_buffer;
    bool m_ok = true;
};

// A temporary file, deleted when the object goes.
class TempFile {
public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates a new file at TempFileName (and its folder) for `writer`; a name another process
    // took meanwhile is given up for the next one (fileutil.h).
    [[nodiscard]] bool Create(Writer& writer);
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Copies the finished temporary file over `target`, which keeps its attributes. A missing
// target is created only when `mayCreate`; one created here is removed again on failure.
[[nodiscard]] bool CopyBack(const std::string& temp, const std::string& target, bool mayCreate);

} // namespace linefile
