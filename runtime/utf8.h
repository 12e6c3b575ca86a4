// Conversions between UTF-8 bytes and the system's 16-bit strings.
//
// decode_utf8 is lenient: malformed input never fails, decoding just stops
// and the units produced so far are the result. A decoded unit 0 (from the
// overlong C0 80) ends the string there, as it would end any 16-bit string.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Decodes one line's bytes (which hold no zero byte) into 16-bit units.
std::u16string decode_utf8(std::string_view bytes);
// The same, replacing the content of `out` (reuses its storage).
void decode_utf8(std::string_view bytes, std::u16string& out);
// Number of units decode_utf8 yields, without producing them.
size_t decode_utf8_length(std::string_view bytes);

// Encodes 16-bit units (up to the first unit 0) as UTF-8. An unpaired high
// surrogate stops the encoding: the bytes before it are the result.
std::string encode_utf8(std::u16string_view units);
// Number of bytes encode_utf8 yields, without producing them.
size_t encode_utf8_length(std::u16string_view units);
