// Text operations: the small family of free functions that every part of the setup library uses
// to cut, search and rebuild texts (paths, registry names, command lines, record lines).
// Texts are 8-bit strings in the system (ANSI) code page. Searching, upper-casing, reversing and
// the white-space test treat the code page's double-byte characters as single units. Ignoring
// case means both operands are upper-cased first; results are always cut from the operands as
// passed in, so returned texts keep their case.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// An ordered, growable list of texts.
using TextList = std::vector<std::string>;

constexpr std::size_t TextNotFound = std::string::npos;

// Position of the first occurrence of `part` in `text` at or after byte `from`, starting on a
// character boundary; TextNotFound when there is none. An empty part is found at `from`.
std::size_t FindText(const std::string& text, const std::string& part, bool caseSensitive,
                     std::size_t from = 0);
// Length in bytes (1 or 2) of the character that starts at byte `pos`, which must be a character
// boundary. A lead byte at the end of the text (or before a zero byte) is a character of its own.
std::size_t CharLengthAt(const std::string& text, std::size_t pos);

// The integer written in `radix` (2 to 36), signed, as the C library's long-to-text does.
std::string NumberToText(long value, int radix = 10);
bool ContainsText(const std::string& text, const std::string& part, bool caseSensitive);
bool EqualText(const std::string& a, const std::string& b, bool caseSensitive);
// Text before the first occurrence of the delimiter; the whole text when it does not occur.
std::string TextBefore(const std::string& text, const std::string& delimiter,
                       bool caseSensitive = true);
// Text after the first occurrence of the delimiter; empty when it does not occur.
std::string TextAfter(const std::string& text, const std::string& delimiter,
                      bool caseSensitive = true);
// TextAfter the start delimiter, then TextBefore the end delimiter (both case-sensitive).
std::string TextBetween(const std::string& text, const std::string& start, const std::string& end);
// Leading, then trailing white space removed.
std::string Trimmed(const std::string& text);
std::string Uppercased(const std::string& text);
// Characters in reverse order; a double-byte character stays intact.
std::string Reversed(const std::string& text);
// The text after the delimiter when the text begins with it; otherwise the text unchanged.
std::string StripLeadingDelimiter(const std::string& text, const std::string& delimiter);
// Removes one trailing occurrence of the delimiter.
std::string StripTrailingDelimiter(const std::string& text, const std::string& delimiter);
std::string ReplaceFirst(const std::string& text, const std::string& find,
                         const std::string& replacement, bool caseSensitive);
// Every occurrence replaced, scanning left to right; inserted replacements are not rescanned.
std::string ReplaceAll(const std::string& text, const std::string& find,
                       const std::string& replacement, bool caseSensitive);
// Field n (from 1) of the text split at the delimiter, trimmed; empty for n < 1 or past the end.
std::string NthField(const std::string& text, const std::string& delimiter, int n);
// The text with its n-th field replaced; a delimiter always follows the new value.
std::string ReplaceField(const std::string& text, const std::string& newValue,
                         const std::string& delimiter, int n);
// Splits at the separator into trimmed parts (empty parts kept); returns the number of parts.
int SplitText(const std::string& text, TextList& list, char separator);
int IndexOf(const TextList& list, const std::string& text, bool caseSensitive);
bool ListContains(const TextList& list, const std::string& text, bool caseSensitive);

// Bytes as hexadecimal text: two lower-case digits per byte, either side by side (Packed, "0aff":
// the transaction log's form) or each followed by one blank (Separated, "0a ff ": the form of a
// registry entry's binary data). Reading takes digits of either case. Packed text must be an
// even number of digits and nothing else. Separated text is trimmed and split at "," (or,
// without any comma, at blanks); every trimmed part must be exactly two digits, and an empty or
// blank text gives zero bytes. A text that does not fit its layout fails and leaves `bytes`
// empty.
enum class HexLayout { Packed, Separated };
std::string BytesToHex(const unsigned char* bytes, std::size_t count, HexLayout layout);
std::string BytesToHex(const std::string& bytes, HexLayout layout);
[[nodiscard]] bool HexToBytes(const std::string& hex, HexLayout layout, std::string& bytes);
