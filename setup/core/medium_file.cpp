#include "setup/core/medium_file.h"

#include <cstring>
#include <vector>

#include "setup/core/handles.h"
#include "setup/core/process.h"

namespace {

constexpr DWORD BlockSize = 64 * 1024;

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

KernelHandle OpenMediumFile(const std::string& path) {
    return KernelHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Reads the header from the start of an open file; the file is left after it.
MediumForm ReadHeaderFrom(HANDLE file, MediumHeader& header) {
    unsigned char bytes[MediumHeaderSize];
    DWORD got = 0;
    if (!ReadFile(file, bytes, sizeof bytes, &got, nullptr))
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
Expansion Inflate(HANDLE in, HANDLE out, const MediumHeader& header) {
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
        DWORD got = 0;
        if (!ReadFile(in, input.data(), BlockSize, &got, nullptr))
            return Expansion::Unreadable;
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
    DWORD extra = 0;
    unsigned char probe = 0;
    if (!ReadFile(in, &probe, 1, &extra, nullptr))
        return Expansion::Unreadable;
    if (extra != 0 || total != header.size || crc != header.crc)
        return Expansion::Damaged;
    return Expansion::Done;
}

} // namespace

MediumForm ReadMediumHeader(const std::string& path, MediumHeader& header) {
    KernelHandle file(OpenMediumFile(path));
    if (!file)
        return MediumForm::Unreadable;
    return ReadHeaderFrom(file.Get(), header);
}

bool InstalledSizeOf(const std::string& path, std::uint32_t& size) {
    size = 0;
    KernelHandle file(OpenMediumFile(path));
    if (!file)
        return false;
    MediumHeader header;
    switch (ReadHeaderFrom(file.Get(), header)) {
    case MediumForm::Compressed:
        size = header.size;
        return true;
    case MediumForm::Plain: {
        const DWORD low = GetFileSize(file.Get(), nullptr);
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
    KernelHandle in(OpenMediumFile(source));
    if (!in)
        return Expansion::Unreadable;
    MediumHeader header;
    switch (ReadHeaderFrom(in.Get(), header)) {
    case MediumForm::Compressed:
        break;
    case MediumForm::Unreadable:
        return Expansion::Unreadable;
    default:
        return Expansion::Damaged;
    }
    KernelHandle out(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return Expansion::WriteFailed;
    const Expansion expansion = Inflate(in.Get(), out.Get(), header);
    if (expansion != Expansion::Done)
        return expansion;
    if (!SetFileTime(out.Get(), nullptr, nullptr, &header.written))
        return Expansion::WriteFailed;
    return out.Reset() ? Expansion::Done : Expansion::WriteFailed;
}
