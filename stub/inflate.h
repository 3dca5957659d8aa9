// A small inflater of raw deflate streams (the compressed form of RFC 1951, as zlib writes it
// with negative window bits), for the single-file setup, which carries no library: it reads the
// stream from a source in blocks and writes the result to a sink through a 32 KB window, so its
// memory stays bounded whatever the file's size.
#pragma once

#include <windows.h>

// Where the compressed bytes come from: fills `buffer` with up to `size` bytes and answers how
// many (0: the stream's bytes are used up or could not be read).
typedef DWORD (*InflateSource)(void* context, unsigned char* buffer, DWORD size);
// Where the result goes: false when it could not be written.
typedef bool (*InflateSink)(void* context, const unsigned char* bytes, DWORD size);

// Inflates one whole stream. False when the stream is malformed or cut short, or the sink
// failed. `input` (at least 1 byte) and `window` (exactly 32768 bytes) are the caller's.
bool InflateStream(InflateSource source, InflateSink sink, void* context, unsigned char* input,
                   DWORD inputSize, unsigned char* window);

// The CRC-32 (the polynomial of zip and zlib) of `size` bytes, continuing `crc` (0 to begin).
DWORD Crc32(DWORD crc, const unsigned char* bytes, DWORD size);
