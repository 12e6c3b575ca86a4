// Conversions between UTF-8 bytes and the system's 16-bit strings.
//
// decode_utf8 is lenient: malformed input never fails, decoding just stops
// and the units produced so far are the result. A decoded unit 0 (from the
// overlong C0 80) ends the string there, as it would end any 16-bit string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Decodes one line's bytes (which hold no zero byte) into 16-bit units.
std::u16string decode_utf8(std::string_view bytes);
// The same, replacing the content of `out` (reuses its storage).
void decode_utf8(std::string_view bytes, std::u16string& out);
// The same, appending to `out`.
void decode_utf8_append(std::string_view bytes, std::u16string& out);
// Number of units decode_utf8 yields, without producing them.
size_t decode_utf8_length(std::string_view bytes);

// Encodes 16-bit units (up to the first unit 0) as UTF-8. An unpaired high
// surrogate stops the encoding: the bytes before it are the result.
std::string encode_utf8(std::u16string_view units);
// Number of bytes encode_utf8 yields, without producing them.
size_t encode_utf8_length(std::u16string_view units);
// Encodes in pieces: `sink(const char* bytes, size_t count)` is called for
// consecutive runs of the output, each at most `piece` bytes long.
template <typename Sink>
void encode_utf8_pieces(std::u16string_view units, Sink&& sink);

namespace utf8_detail {
template <typename Emit>
void walk_encode(std::u16string_view units, Emit&& emit) {
  const size_t n = units.size();
  for (size_t i = 0; i < n && units[i] != 0; ++i) {
    uint32_t cp = units[i];
    if ((cp & 0xFC00) == 0xD800) {
      if (i + 1 >= n || (units[i + 1] & 0xFC00) != 0xDC00) return;
      cp = 0x10000 + (((cp & 0x3FF) << 10) | (units[i + 1] & 0x3FF));
      ++i;
    }
    if (cp < 0x80) {
      emit(static_cast<char>(cp));
    } else if (cp < 0x800) {
      emit(static_cast<char>(0xC0 | (cp >> 6)));
      emit(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      emit(static_cast<char>(0xE0 | (cp >> 12)));
      emit(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      emit(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      emit(static_cast<char>(0xF0 | (cp >> 18)));
      emit(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      emit(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      emit(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}
}  // namespace utf8_detail

template <typename Sink>
void encode_utf8_pieces(std::u16string_view units, Sink&& sink) {
  char piece[1024];
  size_t used = 0;
  utf8_detail::walk_encode(units, [&](char byte) {
    piece[used++] = byte;
    if (used == sizeof piece) sink(piece, used), used = 0;
  });
  if (used) sink(piece, used);
}
