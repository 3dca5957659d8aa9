#include "inflate.h"

namespace {

constexpr int MaxBits = 15;
constexpr int MaxLiteralCodes = 288;
constexpr int MaxDistanceCodes = 30;
constexpr DWORD WindowSize = 32768;

// A canonical Huffman code: the number of codes of each length and the symbols by code.
struct Huffman {
    short count[MaxBits + 1];
    short symbol[MaxLiteralCodes];
};

const short LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const short LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const short DistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const short DistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

struct State {
    InflateSource source;
    InflateSink sink;
    void* context;
    unsigned char* input;
    DWORD inputSize;
    DWORD inputUsed = 0;
    DWORD inputHave = 0;
    DWORD bits = 0;
    int bitCount = 0;
    bool failed = false;
    unsigned char* window;
    DWORD position = 0; // next byte of the window to write
    DWORD filled = 0;   // bytes of the window that hold output (up to WindowSize)
    DWORD flushed = 0;  // bytes of the window already handed to the sink
};

int NextByte(State& s) {
    if (s.inputUsed == s.inputHave) {
        s.inputHave = s.source(s.context, s.input, s.inputSize);
        s.inputUsed = 0;
        if (s.inputHave == 0) {
            s.failed = true;
            return 0;
        }
    }
    return s.input[s.inputUsed++];
}

int Bits(State& s, int need) {
    DWORD value = s.bits;
    while (s.bitCount < need) {
        if (s.failed)
            return 0;
        value |= static_cast<DWORD>(NextByte(s)) << s.bitCount;
        s.bitCount += 8;
    }
    s.bits = value >> need;
    s.bitCount -= need;
    return static_cast<int>(value & ((1u << need) - 1));
}

bool Flush(State& s) {
    if (s.position > s.flushed && !s.sink(s.context, s.window + s.flushed, s.position - s.flushed))
        return false;
    s.flushed = s.position == WindowSize ? 0 : s.position;
    if (s.position == WindowSize)
        s.position = 0;
    return true;
}

bool Put(State& s, unsigned char byte) {
    s.window[s.position++] = byte;
    if (s.filled < WindowSize)
        ++s.filled;
    return s.position < WindowSize || Flush(s);
}

// Builds the code from the lengths; false when it is over-subscribed. An incomplete code is
// allowed (a single distance code), as zlib allows it.
bool Build(Huffman& h, const short* length, int n) {
    for (int i = 0; i <= MaxBits; ++i)
        h.count[i] = 0;
    for (int i = 0; i < n; ++i)
        h.count[length[i]]++;
    if (h.count[0] == n)
        return true;
    int left = 1;
    for (int len = 1; len <= MaxBits; ++len) {
        left <<= 1;
        left -= h.count[len];
        if (left < 0)
            return false;
    }
    short offsets[MaxBits + 1];
    offsets[1] = 0;
    for (int len = 1; len < MaxBits; ++len)
        offsets[len + 1] = static_cast<short>(offsets[len] + h.count[len]);
    for (int i = 0; i < n; ++i)
        if (length[i] != 0)
            h.symbol[offsets[length[i]]++] = static_cast<short>(i);
    return true;
}

int Decode(State& s, const Huffman& h) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= MaxBits; ++len) {
        code |= Bits(s, 1);
        if (s.failed)
            return -1;
        const int count = h.count[len];
        if (code - count < first)
            return h.symbol[index + (code - first)];
        index += count;
        first += count;
        first <<= 1;
        code <<= 1;
    }
    return -1;
}

bool Codes(State& s, const Huffman& literals, const Huffman& distances) {
    for (;;) {
        const int symbol = Decode(s, literals);
        if (symbol < 0)
            return false;
        if (symbol < 256) {
            if (!Put(s, static_cast<unsigned char>(symbol)))
                return false;
            continue;
        }
        if (symbol == 256)
            return true;
        const int lengthCode = symbol - 257;
        if (lengthCode >= 29)
            return false;
        const int length = LengthBase[lengthCode] + Bits(s, LengthExtra[lengthCode]);
        const int distanceCode = Decode(s, distances);
        if (distanceCode < 0 || distanceCode >= 30)
            return false;
        const DWORD distance =
            static_cast<DWORD>(DistanceBase[distanceCode] + Bits(s, DistanceExtra[distanceCode]));
        if (s.failed || distance > s.filled)
            return false;
        for (int i = 0; i < length; ++i) {
            const DWORD from = (s.position + WindowSize - distance) % WindowSize;
            if (!Put(s, s.window[from]))
                return false;
        }
    }
}

bool Stored(State& s) {
    s.bits = 0;
    s.bitCount = 0;
    const int low = NextByte(s), high = NextByte(s), notLow = NextByte(s), notHigh = NextByte(s);
    if (s.failed || (low ^ notLow) != 0xFF || (high ^ notHigh) != 0xFF)
        return false;
    for (int left = low | (high << 8); left > 0; --left) {
        const int byte = NextByte(s);
        if (s.failed || !Put(s, static_cast<unsigned char>(byte)))
            return false;
    }
    return true;
}

bool Fixed(State& s) {
    static Huffman literals, distances;
    static bool built = false;
    if (!built) {
        short lengths[MaxLiteralCodes];
        int i = 0;
        for (; i < 144; ++i)
            lengths[i] = 8;
        for (; i < 256; ++i)
            lengths[i] = 9;
        for (; i < 280; ++i)
            lengths[i] = 7;
        for (; i < MaxLiteralCodes; ++i)
            lengths[i] = 8;
        (void)Build(literals, lengths, MaxLiteralCodes);
        for (i = 0; i < MaxDistanceCodes; ++i)
            lengths[i] = 5;
        (void)Build(distances, lengths, MaxDistanceCodes);
        built = true;
    }
    return Codes(s, literals, distances);
}

bool Dynamic(State& s) {
    static const short Order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                    11, 4,  12, 3, 13, 2, 14, 1, 15};
    const int literalCount = Bits(s, 5) + 257;
    const int distanceCount = Bits(s, 5) + 1;
    const int codeCount = Bits(s, 4) + 4;
    if (s.failed || literalCount > 286 || distanceCount > 30)
        return false;
    short lengths[MaxLiteralCodes + MaxDistanceCodes];
    int i = 0;
    for (; i < codeCount; ++i)
        lengths[Order[i]] = static_cast<short>(Bits(s, 3));
    for (; i < 19; ++i)
        lengths[Order[i]] = 0;
    Huffman literals, distances;
    if (s.failed || !Build(literals, lengths, 19))
        return false;
    for (i = 0; i < literalCount + distanceCount;) {
        int symbol = Decode(s, literals);
        if (symbol < 0)
            return false;
        if (symbol < 16) {
            lengths[i++] = static_cast<short>(symbol);
            continue;
        }
        short repeated = 0;
        int times;
        if (symbol == 16) {
            if (i == 0)
                return false;
            repeated = lengths[i - 1];
            times = 3 + Bits(s, 2);
        } else if (symbol == 17) {
            times = 3 + Bits(s, 3);
        } else {
            times = 11 + Bits(s, 7);
        }
        if (s.failed || i + times > literalCount + distanceCount)
            return false;
        while (times--)
            lengths[i++] = repeated;
    }
    if (lengths[256] == 0)
        return false;
    return Build(literals, lengths, literalCount) &&
           Build(distances, lengths + literalCount, distanceCount) && Codes(s, literals, distances);
}

} // namespace

bool InflateStream(InflateSource source, InflateSink sink, void* context, unsigned char* input,
                   DWORD inputSize, unsigned char* window) {
    State s;
    s.source = source;
    s.sink = sink;
    s.context = context;
    s.input = input;
    s.inputSize = inputSize;
    s.window = window;
    for (;;) {
        const int last = Bits(s, 1);
        const int type = Bits(s, 2);
        if (s.failed)
            return false;
        const bool ok = type == 0 ? Stored(s) : type == 1 ? Fixed(s) : type == 2 && Dynamic(s);
        if (!ok || s.failed)
            return false;
        if (last)
            break;
    }
    // Every byte of the stream must have been read: a source with bytes left is not this stream.
    return Flush(s) && s.inputUsed == s.inputHave && s.source(s.context, s.input, 1) == 0;
}

DWORD Crc32(DWORD crc, const unsigned char* bytes, DWORD size) {
    static DWORD table[256];
    if (table[1] == 0)
        for (DWORD n = 0; n < 256; ++n) {
            DWORD c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    crc = ~crc;
    while (size--)
        crc = table[(crc ^ *bytes++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
