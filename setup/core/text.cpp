#include "setup/core/text.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

// What the system (ANSI) code page looks like, read once. Lead bytes come from IsDBCSLeadByte
// and upper-case forms from CharUpperBuffA, each asked once per byte (and once per double-byte
// character), so the per-character work afterwards is a table look-up.
class CodePage {
public:
    CodePage() {
        CPINFO info{};
        m_doubleByte = GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
        for (int b = 0; b < 256; ++b) {
            m_lead[b] = m_doubleByte && IsDBCSLeadByte(static_cast<BYTE>(b));
            char c = static_cast<char>(b);
            // A lone lead byte is no character of its own: it keeps its value.
            if (!m_lead[b] && CharUpperBuffA(&c, 1) != 1)
                c = static_cast<char>(b);
            m_upper[b] = c;
        }
        if (m_doubleByte) {
            for (int lead = 0; lead < 256; ++lead) {
                if (!m_lead[lead])
                    continue;
                std::string& table = m_upperPairs[lead];
                table.resize(512);
                for (int trail = 0; trail < 256; ++trail) {
                    char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                    // A character whose upper-case form is not two bytes long stays as it
                    // is, so that positions in an upper-cased text match the original.
                    if (trail == 0 || CharUpperBuffA(pair, 2) != 2) {
                        pair[0] = static_cast<char>(lead);
                        pair[1] = static_cast<char>(trail);
                    }
                    table[2 * trail] = pair[0];
                    table[2 * trail + 1] = pair[1];
                }
            }
        }
    }

    bool DoubleByte() const { return m_doubleByte; }

    // Length in bytes (1 or 2) of the character that starts at `pos`.
    std::size_t CharLength(const std::string& text, std::size_t pos) const {
        if (m_lead[static_cast<unsigned char>(text[pos])] && pos + 1 < text.size() &&
            text[pos + 1] != '\0')
            return 2;
        return 1;
    }

    // The first character boundary at or after `pos`, found without walking from the start
    // of the text: a byte that cannot be a lead byte always ends a character, and the run of
    // possible lead bytes after it pairs up from its beginning.
    std::size_t BoundaryAtOrAfter(const std::string& text, std::size_t pos) const {
        if (pos == 0 || pos >= text.size())
            return pos;
        std::size_t runStart = pos;
        while (runStart > 0 && m_lead[static_cast<unsigned char>(text[runStart - 1])])
            --runStart;
        if ((pos - runStart) % 2 == 0 || text[pos] == '\0')
            return pos;
        return pos + 1; // `pos` is the trail byte of the character before it
    }

    std::string Upper(const std::string& text) const {
        std::string out(text);
        const std::size_t n = out.size();
        if (!m_doubleByte) {
            for (std::size_t i = 0; i < n; ++i)
                out[i] = m_upper[static_cast<unsigned char>(out[i])];
            return out;
        }
        for (std::size_t i = 0; i < n;) {
            if (CharLength(out, i) == 2) {
                const std::string& table = m_upperPairs[static_cast<unsigned char>(out[i])];
                std::size_t t = 2 * static_cast<unsigned char>(out[i + 1]);
                out[i] = table[t];
                out[i + 1] = table[t + 1];
                i += 2;
            } else {
                out[i] = m_upper[static_cast<unsigned char>(out[i])];
                ++i;
            }
        }
        return out;
    }

private:
    bool m_doubleByte = false;
    bool m_lead[256] = {};
    char m_upper[256] = {};
    std::string m_upperPairs[256];
};

const CodePage& Cp() {
    // Made on the heap: as a static object its 256 texts would be an initialised table of
    // several kilobytes in the image. It lives as long as the process, as a static would.
    static const CodePage* const cp = new CodePage;
    return *cp;
}

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Whether the bytes [start, start + length) of `text` are whole characters, given that `start`
// is a character boundary.
bool EndsOnBoundary(const CodePage& cp, const std::string& text, std::size_t start,
                    std::size_t length) {
    std::size_t end = start + length;
    std::size_t p = start;
    while (p < end)
        p += cp.CharLength(text, p);
    return p == end;
}

// The search proper, on texts already upper-cased when case is ignored. A match starts on a
// character boundary of `text` and covers whole characters, so a trail byte that happens to
// equal a searched byte is never taken for that character.
std::size_t FindIn(const std::string& text, const std::string& part, std::size_t from) {
    if (from > text.size())
        return TextNotFound;
    if (part.empty())
        return from;
    const CodePage& cp = Cp();
    if (!cp.DoubleByte())
        return text.find(part, from);
    // `boundary` walks the character boundaries from `from` on; candidates from the byte
    // search are accepted only where the walk lands on them.
    std::size_t boundary = cp.BoundaryAtOrAfter(text, from);
    std::size_t pos = boundary;
    for (;;) {
        pos = text.find(part, pos);
        if (pos == std::string::npos)
            return TextNotFound;
        while (boundary < pos)
            boundary += cp.CharLength(text, boundary);
        if (boundary == pos && EndsOnBoundary(cp, text, pos, part.size()))
            return pos;
        // Go on from the next character boundary after the rejected candidate.
        if (boundary == pos)
            boundary += cp.CharLength(text, boundary);
        pos = boundary;
    }
}

// Positions of the first occurrence, searched with or without regard to case.
std::size_t Find(const std::string& text, const std::string& part, bool caseSensitive) {
    if (caseSensitive)
        return FindIn(text, part, 0);
    return FindIn(Cp().Upper(text), Cp().Upper(part), 0);
}

} // namespace

std::size_t FindText(const std::string& text, const std::string& part, bool caseSensitive,
                     std::size_t from) {
    if (caseSensitive)
        return FindIn(text, part, from);
    return FindIn(Cp().Upper(text), Cp().Upper(part), from);
}

std::size_t CharLengthAt(const std::string& text, std::size_t pos) {
    return Cp().CharLength(text, pos);
}

std::string NumberToText(long value, int radix) {
    if (radix < 2 || radix > 36)
        return {};
    // As the C library writes it: a minus sign only in base 10; other bases show the
    // two's-complement bit pattern as an unsigned number.
    bool negative = radix == 10 && value < 0;
    unsigned long rest =
        negative ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    char digits[72];
    int n = 0;
    do {
        int d = static_cast<int>(rest % static_cast<unsigned long>(radix));
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
        rest /= static_cast<unsigned long>(radix);
    } while (rest != 0);
    std::string out;
    if (negative)
        out += '-';
    while (n > 0)
        out += digits[--n];
    return out;
}

bool ContainsText(const std::string& text, const std::string& part, bool caseSensitive) {
    return Find(text, part, caseSensitive) != TextNotFound;
}

bool EqualText(const std::string& a, const std::string& b, bool caseSensitive) {
    if (a.size() != b.size())
        return false;
    if (caseSensitive)
        return a == b;
    return Cp().Upper(a) == Cp().Upper(b);
}

std::string TextBefore(const std::string& text, const std::string& delimiter, bool caseSensitive) {
    std::size_t pos = Find(text, delimiter, caseSensitive);
    if (pos == TextNotFound)
        return text;
    return text.substr(0, pos);
}

std::string TextAfter(const std::string& text, const std::string& delimiter, bool caseSensitive) {
    std::size_t pos = Find(text, delimiter, caseSensitive);
    if (pos == TextNotFound)
        return {};
    return text.substr(pos + delimiter.size());
}

std::string TextBetween(const std::string& text, const std::string& start, const std::string& end) {
    return TextBefore(TextAfter(text, start, true), end, true);
}

std::string Trimmed(const std::string& text) {
    std::size_t first = 0;
    while (first < text.size() && IsWhite(text[first]))
        ++first;
    std::size_t last = text.size();
    const CodePage& cp = Cp();
    if (!cp.DoubleByte()) {
        while (last > first && IsWhite(text[last - 1]))
            --last;
    } else {
        // Trail bytes may take any value: find the end of the last character that is not
        // white space by walking forwards.
        last = first;
        for (std::size_t p = first; p < text.size();) {
            std::size_t len = cp.CharLength(text, p);
            if (len == 2 || !IsWhite(text[p]))
                last = p + len;
            p += len;
        }
    }
    return text.substr(first, last - first);
}

std::string Uppercased(const std::string& text) {
    return Cp().Upper(text);
}

std::string Reversed(const std::string& text) {
    const CodePage& cp = Cp();
    if (!cp.DoubleByte())
        return std::string(text.rbegin(), text.rend());
    std::string out(text.size(), '\0');
    std::size_t end = text.size();
    for (std::size_t p = 0; p < text.size();) {
        std::size_t len = cp.CharLength(text, p);
        end -= len;
        std::memcpy(&out[end], &text[p], len);
        p += len;
    }
    return out;
}

std::string StripLeadingDelimiter(const std::string& text, const std::string& delimiter) {
    // The text begins with the delimiter exactly when its first occurrence is at the start.
    if (text.empty() || FindIn(text, delimiter, 0) != 0)
        return text;
    return text.substr(delimiter.size());
}

std::string StripTrailingDelimiter(const std::string& text, const std::string& delimiter) {
    return Reversed(StripLeadingDelimiter(Reversed(text), Reversed(delimiter)));
}

std::string ReplaceFirst(const std::string& text, const std::string& find,
                         const std::string& replacement, bool caseSensitive) {
    if (find.empty())
        return text;
    std::size_t pos = Find(text, find, caseSensitive);
    if (pos == TextNotFound)
        return text;
    std::string out;
    out.reserve(text.size() - find.size() + replacement.size());
    out.append(text, 0, pos);
    out += replacement;
    out.append(text, pos + find.size(), std::string::npos);
    return out;
}

std::string ReplaceAll(const std::string& text, const std::string& find,
                       const std::string& replacement, bool caseSensitive) {
    if (find.empty())
        return text;
    // Search once through the whole text (upper-cased once when case is ignored) and cut the
    // pieces from the original; each search continues after the previous occurrence, so the
    // inserted replacements are never searched.
    std::string upperText;
    std::string upperFind;
    if (!caseSensitive) {
        upperText = Cp().Upper(text);
        upperFind = Cp().Upper(find);
    }
    const std::string& haystack = caseSensitive ? text : upperText;
    const std::string& needle = caseSensitive ? find : upperFind;
    std::string out;
    std::size_t rest = 0;
    for (;;) {
        std::size_t pos = FindIn(haystack, needle, rest);
        if (pos == TextNotFound)
            break;
        if (rest == 0)
            out.reserve(text.size() + (replacement.size() > find.size() ? text.size() / 4 : 0));
        out.append(text, rest, pos - rest);
        out += replacement;
        rest = pos + find.size();
    }
    if (rest == 0)
        return text;
    out.append(text, rest, std::string::npos);
    return out;
}

std::string NthField(const std::string& text, const std::string& delimiter, int n) {
    if (n < 1)
        return {};
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        std::size_t pos = FindIn(text, delimiter, start);
        if (pos == TextNotFound)
            return {};
        start = pos + delimiter.size();
    }
    std::size_t pos = FindIn(text, delimiter, start);
    std::size_t end = pos == TextNotFound ? text.size() : pos;
    return Trimmed(text.substr(start, end - start));
}

std::string ReplaceField(const std::string& text, const std::string& newValue,
                         const std::string& delimiter, int n) {
    if (n < 1)
        return {};
    std::string out;
    std::size_t start = 0;
    bool exhausted = false;
    for (int i = 1; i < n; ++i) {
        // Past the last field the text is empty: its part before the delimiter is empty.
        std::size_t pos = exhausted ? TextNotFound : FindIn(text, delimiter, start);
        if (pos == TextNotFound) {
            out.append(text, start, std::string::npos);
            start = text.size();
            exhausted = true;
        } else {
            out.append(text, start, pos - start);
            start = pos + delimiter.size();
        }
        out += delimiter;
    }
    std::size_t pos = exhausted ? TextNotFound : FindIn(text, delimiter, start);
    start = pos == TextNotFound ? text.size() : pos + delimiter.size();
    out += newValue;
    out += delimiter;
    out.append(text, start, std::string::npos);
    return out;
}

int SplitText(const std::string& text, TextList& list, char separator) {
    list.clear();
    if (text.empty())
        return 0;
    const std::string sep(1, separator);
    std::size_t start = 0;
    for (;;) {
        std::size_t pos = FindIn(text, sep, start);
        if (pos == TextNotFound)
            break;
        list.push_back(Trimmed(text.substr(start, pos - start)));
        start = pos + 1;
    }
    list.push_back(Trimmed(text.substr(start)));
    return static_cast<int>(list.size());
}

int IndexOf(const TextList& list, const std::string& text, bool caseSensitive) {
    const std::string key = caseSensitive ? text : Cp().Upper(text);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string& entry = list[i];
        if (entry.size() != key.size())
            continue;
        if (caseSensitive ? entry == key : Cp().Upper(entry) == key)
            return static_cast<int>(i);
    }
    return -1;
}

bool ListContains(const TextList& list, const std::string& text, bool caseSensitive) {
    return IndexOf(list, text, caseSensitive) >= 0;
}

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool AppendHexPair(const std::string& text, std::size_t at, std::string& bytes) {
    const int high = HexDigitValue(text[at]);
    const int low = HexDigitValue(text[at + 1]);
    if (high < 0 || low < 0)
        return false;
    bytes += static_cast<char>(high << 4 | low);
    return true;
}

bool ReadHex(const std::string& hex, HexLayout layout, std::string& bytes) {
    if (layout == HexLayout::Packed) {
        if (hex.size() % 2)
            return false;
        for (std::size_t i = 0; i < hex.size(); i += 2)
            if (!AppendHexPair(hex, i, bytes))
                return false;
        return true;
    }
    const std::string rest = Trimmed(hex);
    if (rest.empty())
        return true;
    TextList parts;
    SplitText(rest, parts, rest.find(',') != std::string::npos ? ',' : ' ');
    for (const std::string& part : parts)
        if (part.size() != 2 || !AppendHexPair(part, 0, bytes))
            return false;
    return true;
}

} // namespace

std::string BytesToHex(const unsigned char* bytes, std::size_t count, HexLayout layout) {
    static const char digits[] = "0123456789abcdef";
    const bool separated = layout == HexLayout::Separated;
    std::string hex;
    hex.reserve(count * (separated ? 3 : 2));
    for (std::size_t i = 0; i < count; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0x0F];
        if (separated)
            hex += ' ';
    }
    return hex;
}

std::string BytesToHex(const std::string& bytes, HexLayout layout) {
    return BytesToHex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), layout);
}

bool HexToBytes(const std::string& hex, HexLayout layout, std::string& bytes) {
    std::string out;
    out.reserve(hex.size() / 2);
    if (!ReadHex(hex, layout, out)) {
        bytes.clear();
        return false;
    }
    bytes.swap(out);
    return true;
}
