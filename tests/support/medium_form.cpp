#include "support/medium_form.h"

#include <zlib.h>

#include <cstdint>
#include <vector>

#include "setup/core/medium_file.h"
#include "support/fixtures.h"

namespace testsupport {

namespace {

void PutLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t SumOfWords(const std::string& bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 4 && i + k < bytes.size(); ++k)
            word |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + k])) << (8 * k);
        sum += word;
    }
    return sum;
}

} // namespace

std::string CompressedForm(const std::string& original, const FILETIME& written) {
    uLongf size = compressBound(static_cast<uLong>(original.size()));
    std::vector<Bytef> stream(size);
    if (compress2(stream.data(), &size, reinterpret_cast<const Bytef*>(original.data()),
                  static_cast<uLong>(original.size()), 9) != Z_OK)
        return {};
    std::string out(MediumSignature, sizeof MediumSignature);
    PutLe32(out, static_cast<std::uint32_t>(original.size()));
    PutLe32(out,
            static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(original.data()),
                                             static_cast<uInt>(original.size()))));
    PutLe32(out, SumOfWords(original));
    PutLe32(out, written.dwLowDateTime);
    PutLe32(out, written.dwHighDateTime);
    out.append(reinterpret_cast<const char*>(stream.data()), size);
    return out;
}

bool WriteCompressed(const std::string& path, const std::string& original,
                     const FILETIME& written) {
    return WriteFileBytes(path, CompressedForm(original, written));
}

bool WriteCompressed(const std::string& path, const std::string& original) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME written;
    SystemTimeToFileTime(&now, &written);
    return WriteCompressed(path, original, written);
}

} // namespace testsupport
