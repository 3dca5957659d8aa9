#include "setup/core/medium_file.h"

#include <cstring>
#include <vector>

#include "setup/core/disk_set.h"
#include "setup/core/handles.h"
#include "setup/core/process.h"

namespace {

constexpr DWORD BlockSize = 64 * 1024;

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

Expansion ExpansionOf(MediumReader::Result result) {
    return result == MediumReader::NotInserted ? Expansion::NotInserted
           : result == MediumReader::Damaged   ? Expansion::Damaged
                                               : Expansion::Unreadable;
}

// Reads exactly `size` bytes unless the file ends first (`got` says how many came).
MediumReader::Result ReadUpTo(MediumReader& in, unsigned char* data, unsigned long size,
                              unsigned long& got) {
    got = 0;
    while (got < size) {
        unsigned long n = 0;
        const MediumReader::Result r = in.Read(data + got, size - got, n);
        if (r != MediumReader::Ok)
            return r;
        if (n == 0)
            break;
        got += n;
    }
    return MediumReader::Ok;
}

// Reads the header from the start of the file; the reader is left after it.
MediumForm ReadHeaderFrom(MediumReader& in, MediumHeader& header) {
    unsigned char bytes[MediumHeaderSize];
    unsigned long got = 0;
    const MediumReader::Result r = ReadUpTo(in, bytes, sizeof bytes, got);
    if (r == MediumReader::Damaged)
        return MediumForm::Damaged;
    if (r != MediumReader::Ok)
        return MediumForm::Unreadable;
    if (got < sizeof MediumSignature ||
        std::memcmp(bytes, MediumSignature, sizeof MediumSignature) != 0)
        return MediumForm::Plain;
    if (got < sizeof bytes)
        return MediumForm::Damaged;
    header.size = Le32(bytes + 8);
    header.crc = Le32(bytes + 12);
    header.checksum = Le32(bytes + 16);
    header.written.dwLowDateTime = Le32(bytes + 20);
    header.written.dwHighDateTime = Le32(bytes + 24);
    return MediumForm::Compressed;
}

bool WriteAll(HANDLE out, const unsigned char* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(out, data, size, &written, nullptr) && written == size;
}

// Inflates the rest of `in` into `out`; the header says what must come out.
Expansion Inflate(MediumReader& in, HANDLE out, const MediumHeader& header) {
    InflateStream stream;
    if (!stream.IsOpen())
        return Expansion::WriteFailed;
    z_stream& z = stream.Get();
    std::vector<unsigned char> input(BlockSize), output(BlockSize);
    std::uint32_t crc = crc32(0, nullptr, 0);
    std::uint64_t total = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        PumpOneMessage();
        unsigned long got = 0;
        const MediumReader::Result r = in.Read(input.data(), BlockSize, got);
        if (r != MediumReader::Ok)
            return ExpansionOf(r);
        if (got == 0)
            return Expansion::Damaged; // the stream did not end: the file is cut short
        z.next_in = input.data();
        z.avail_in = got;
        do {
            z.next_out = output.data();
            z.avail_out = BlockSize;
            result = inflate(&z, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                return Expansion::Damaged;
            const DWORD produced = BlockSize - z.avail_out;
            total += produced;
            if (total > header.size)
                return Expansion::Damaged;
            crc = crc32(crc, output.data(), produced);
            if (produced && !WriteAll(out, output.data(), produced))
                return Expansion::WriteFailed;
        } while (result != Z_STREAM_END && z.avail_out == 0);
        if (result == Z_STREAM_END && z.avail_in != 0)
            return Expansion::Damaged; // bytes after the stream
    }
    unsigned char probe = 0;
    unsigned long extra = 0;
    const MediumReader::Result r = in.Read(&probe, 1, extra);
    if (r != MediumReader::Ok)
        return ExpansionOf(r);
    if (extra != 0 || total != header.size || crc != header.crc)
        return Expansion::Damaged;
    return Expansion::Done;
}

// The parts of a plain file of a diskette set, joined; the list says how long it is.
Expansion Join(MediumReader& in, HANDLE out, std::uint32_t size) {
    std::vector<unsigned char> block(BlockSize);
    std::uint64_t total = 0;
    for (;;) {
        PumpOneMessage();
        unsigned long got = 0;
        const MediumReader::Result r = in.Read(block.data(), BlockSize, got);
        if (r != MediumReader::Ok)
            return ExpansionOf(r);
        if (got == 0)
            break;
        total += got;
        if (!WriteAll(out, block.data(), got))
            return Expansion::WriteFailed;
    }
    return total == size ? Expansion::Done : Expansion::Damaged;
}

} // namespace

MediumForm ReadMediumHeader(const std::string& path, MediumHeader& header) {
    if (const DiskSetFile* listed = DiskSetFileOf(path)) {
        header = listed->header;
        return listed->compressed ? MediumForm::Compressed : MediumForm::Plain;
    }
    MediumReader in;
    if (!in.Open(path))
        return MediumForm::Unreadable;
    return ReadHeaderFrom(in, header);
}

bool InstalledSizeOf(const std::string& path, std::uint32_t& size) {
    size = 0;
    if (const DiskSetFile* listed = DiskSetFileOf(path)) {
        size = listed->header.size;
        return true;
    }
    MediumReader in;
    if (!in.Open(path))
        return false;
    MediumHeader header;
    switch (ReadHeaderFrom(in, header)) {
    case MediumForm::Compressed:
        size = header.size;
        return true;
    case MediumForm::Plain: {
        const DWORD low = GetFileSize(in.Part(), nullptr);
        if (low == INVALID_FILE_SIZE)
            return false;
        size = low;
        return true;
    }
    default:
        return false;
    }
}

Expansion ExpandMediumFile(const std::string& source, const std::string& target) {
    const DiskSetFile* listed = DiskSetFileOf(source);
    if (listed && ReachMediumFile(source) == DiskAnswer::GaveUp)
        return Expansion::NotInserted;
    MediumReader in;
    if (!in.Open(source))
        return Expansion::Unreadable;
    MediumHeader header;
    const bool joined = listed && !listed->compressed;
    if (!joined) {
        switch (ReadHeaderFrom(in, header)) {
        case MediumForm::Compressed:
            break;
        case MediumForm::Unreadable:
            return Expansion::Unreadable;
        default:
            return Expansion::Damaged;
        }
        // The list and the file must tell the same original.
        if (listed && (header.size != listed->header.size || header.crc != listed->header.crc))
            return Expansion::Damaged;
    }
    KernelHandle out(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return Expansion::WriteFailed;
    const Expansion expansion =
        joined ? Join(in, out.Get(), listed->header.size) : Inflate(in, out.Get(), header);
    if (expansion != Expansion::Done)
        return expansion;
    if (!joined && !SetFileTime(out.Get(), nullptr, nullptr, &header.written))
        return Expansion::WriteFailed;
    return out.Reset() ? Expansion::Done : Expansion::WriteFailed;
}
