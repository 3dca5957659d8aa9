// A diskette set: the files of a medium spread over diskettes, a file that does not fit in the
// space left on one continuing on the next. The first diskette lists the set beside the
// description, in DISKSET.TXT (ASCII, one line per entry, fields separated by one blank):
//   set <serial>              eight hex digits, the same on every diskette of the set
//   disk <n> <label>          every diskette, numbered from 1; the label is also the volume's
//   file <form> <size> <crc> <sum> <low> <high> <parts> <path>
//       form "z" (compressed, medium_file.h: the other numbers are the header's size, CRC-32,
//       sum of words and last-write time, in decimal) or "p" (plain: its size, the rest 0);
//       parts "<disk>:<bytes>[,<disk>:<bytes>...]", the medium file's bytes in order, each part
//       under the same path on its diskette; the path below <S>, with backslashes, runs to the
//       end of the line (it may hold blanks, and double-byte characters of the code page)
// Every diskette holds DISK.ID in that folder: "<label> <serial>". That file, not the volume label,
// tells which diskette is in the drive: the label is read once per mount by some file systems
// (a changed diskette can keep reporting the old one), and a set copied diskette by diskette
// with a file copy keeps its files but not its labels.
//
// Files the list does not name (the loader, the engine, the description and what the engine
// reads before it installs: the plug-in, the licence) lie whole on the first diskette and are
// read where they are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "setup/core/handles.h"
#include "setup/core/medium_file.h"
#include "setup/core/seam.h"

constexpr char DiskSetListName[] = "DISKSET.TXT";
constexpr char DiskIdName[] = "DISK.ID";

struct DiskPart {
    int disk = 0;
    std::uint32_t bytes = 0;
};

struct DiskSetFile {
    bool compressed = false;
    MediumHeader header; // for a plain file only its size
    std::vector<DiskPart> parts;
};

enum class DiskSetLoad {
    None,    // the folder holds no list: not a diskette set
    Loaded,  // the set is in use from now on
    Damaged, // a list that cannot be read or parsed; `problem` names the line
};

// Reads the list in `folder` (the medium's <S>); the set found there replaces any earlier one.
// `caption` is the title of the prompts for a diskette.
DiskSetLoad LoadDiskSet(const std::string& folder, const std::string& caption,
                        std::string& problem);
void ForgetDiskSet();

// The entry of the set for a full path on the medium; null when no set is in use or the list
// does not name the path (letters compared without regard to case).
const DiskSetFile* DiskSetFileOf(const std::string& path);
std::string DiskLabelOf(int disk);

enum class DiskAnswer { Inserted, GaveUp };

// Makes sure that diskette `disk` is in the drive, asking for it by label and naming `path`
// (the file wanted from it) until it is there or the user gives up. Answers at once when it is
// already in. The prompt is the loader's: a message box with OK and Cancel; Cancel asks whether
// to give up the installation, and No goes back to checking and asking.
DiskAnswer EnsureDisk(int disk, const std::string& path);

// The first diskette of the file at `path` is in the drive (see EnsureDisk): for a path below the
// set's folder that the list does not name, the first diskette of the set (the engine's copy of
// itself, for instance, is made from there); Inserted at once for a path elsewhere.
DiskAnswer ReachMediumFile(const std::string& path);

// One round of asking: shows `text` and answers true to look again, false to give up.
using DiskPrompt = bool (*)(const std::string& text, const std::string& caption);
Seam<DiskPrompt>& DiskPromptForTesting();

// Reads the stored bytes of a medium file in order, across its diskettes for a file of the set.
class MediumReader {
public:
    enum Result {
        Ok,
        Failed,      // the platform could not read (see GetLastError)
        Damaged,     // a part is shorter or longer than the list says
        NotInserted, // the user gave up waiting for the next part's diskette
    };

    // Opens the file's first part (its diskette must be in the drive: ReachMediumFile).
    [[nodiscard]] bool Open(const std::string& path);
    // Up to `size` bytes; `got` 0 with Ok at the end of the file's last part.
    [[nodiscard]] Result Read(void* buffer, unsigned long size, unsigned long& got);
    // The open file of the current part (the whole file for one the set does not name).
    HANDLE Part() const { return m_file.Get(); }

private:
    [[nodiscard]] Result NextPart();

    std::string m_path;
    const DiskSetFile* m_entry = nullptr;
    std::size_t m_part = 0;
    std::uint32_t m_left = 0; // bytes still to come from the current part
    KernelHandle m_file;
};
