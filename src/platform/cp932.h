#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Conversions at the file boundary: text is UTF-8 inside the program and
// CP932 (Shift_JIS) in the files that other programs read.

enum class Unmappable {
    kQuestionMark,   // a character CP932 lacks becomes '?'
    kHtmlReference,  // ... becomes "&#N;" (for HTML pages)
};

std::string Utf8ToCp932(std::string_view utf8, Unmappable mode = Unmappable::kQuestionMark);

// Invalid or truncated CP932 sequences become U+FFFD; never fails.
std::string Cp932ToUtf8(std::string_view cp932);

inline bool IsCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Length of the longest prefix of `cp932` of at most `max_bytes` bytes that
// does not end in the middle of a double-byte character.
std::size_t Cp932PrefixLength(std::string_view cp932, std::size_t max_bytes);

// The longest prefix of `utf8` whose CP932 form fits in `max_bytes` bytes,
// never cutting a character.
std::string TruncateToCp932Bytes(std::string_view utf8, std::size_t max_bytes);

// Number of bytes `utf8` takes in CP932.
std::size_t Cp932ByteLength(std::string_view utf8);

// True when `bytes` decode as CP932 without any invalid or cut sequence.
bool IsValidCp932(std::string_view bytes);
// True for well-formed UTF-8: no overlong forms, surrogates or code points
// beyond U+10FFFF.
bool IsValidUtf8(std::string_view bytes);
