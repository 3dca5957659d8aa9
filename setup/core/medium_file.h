// The files of an installation medium, stored as they are or compressed.
//
// A compressed file keeps its name on the medium and holds, little-endian:
//   offset  0  8 bytes  signature "TVZ1" 0x1A 0x0D 0x0A 0x00
//   offset  8  4 bytes  size of the original in bytes
//   offset 12  4 bytes  CRC-32 of the original bytes (zlib's crc32, as gzip and PNG compute it)
//   offset 16  4 bytes  FileChecksum of the original (the sum of its little-endian words)
//   offset 20  8 bytes  last-write time of the original (FILETIME: 100 ns steps since 1601, UTC)
//   offset 28           the original as one zlib stream (deflate with its header and Adler-32);
//                       nothing follows it
// A file that does not begin with the signature is a plain one and is copied as it is: the
// medium builder refuses to leave a product file plain when it begins with the signature.
//
// On a diskette set (disk_set.h) the list answers for the files it names: their form, header and
// size are known without the diskette, and their bytes are read across the diskettes they lie on.
//
// A compressed file is expanded into a file of its own before any copy rule looks at it: the
// version resource, the size and the date the rules compare are the original's, and a
// replacement at the restart needs the whole file on the destination's volume anyway.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

constexpr char MediumSignature[8] = {'T', 'V', 'Z', '1', 0x1A, 0x0D, 0x0A, 0x00};
constexpr std::size_t MediumHeaderSize = 28;

struct MediumHeader {
    std::uint32_t size = 0;
    std::uint32_t crc = 0;
    std::uint32_t checksum = 0;
    FILETIME written{};
};

enum class MediumForm {
    Plain,      // no signature: the file is the original
    Compressed, // the header was read
    Damaged,    // the signature, but the header is cut short
    Unreadable, // the file cannot be opened or read
};

MediumForm ReadMediumHeader(const std::string& path, MediumHeader& header);

// The size the file has once installed: the original's for a compressed file. False when the
// file cannot be read or its header is damaged.
[[nodiscard]] bool InstalledSizeOf(const std::string& path, std::uint32_t& size);

enum class Expansion {
    Done,
    Damaged,     // the stream is broken or cut short, or the size or the CRC-32 differ
    Unreadable,  // the medium file could not be opened or read
    WriteFailed, // the expanded file could not be written (see GetLastError)
    NotInserted, // a diskette of the set the file lies on was not inserted (the user gave up)
};

// Expands the compressed medium file `source` into `target` (or, for a plain file of a diskette
// set that lies on more than one diskette, joins its parts there), which must exist (an empty file,
// as GetTempFileNameA leaves it) and is overwritten. The work is done in 64 KiB blocks in and
// out, handling at most one pending window message before each block read, and stops at the
// first fault: no more than the header's size is ever written. Done only when the stream ended
// at the end of the file with exactly the original's size and CRC-32; the target then carries
// the original's last-write time. On any other answer the target's content is undefined.
[[nodiscard]] Expansion ExpandMediumFile(const std::string& source, const std::string& target);
