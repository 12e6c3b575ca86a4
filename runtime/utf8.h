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

namespace runtime {

// Decodes one line's bytes (which hold no zero byte) into 16-bit units.
std::u16string decode_utf8(std::string_view bytes);
// The same, replacing the content of `out` (reuses its storage).
void decode_utf8(std::string_view bytes, std::u16string& out);
// The same, appending to `out`, a 16-bit string of any allocator.
template <typename Units>
void decode_utf8_append(std::string_view bytes, Units& out);

// A UTF-8 byte-order mark. At the very start of a file it is not content.
inline constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

// Strict UTF-8: overlong forms, encoded surrogates and values above U+10FFFF
// are ill-formed. Decoding with replacement never stops: each maximal
// subpart of an ill-formed sequence (the longest prefix of a well-formed
// sequence that is there) becomes one U+FFFD, and the bytes after it are
// decoded as usual.
bool is_well_formed_utf8(std::string_view bytes);
// Well-formed UTF-8 for any bytes, with that replacement.
std::string repair_utf8(std::string_view bytes);
// The same, replacing the content of `out`.
void repair_utf8(std::string_view bytes, std::string& out);
// 16-bit units for any bytes, with that replacement; replaces `out`.
void decode_utf8_replacing(std::string_view bytes, std::u16string& out);

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

// One sequence of strict UTF-8 that starts with a byte of 0x80 or above.
struct Sequence {
  char32_t value;  // U+FFFD when ill-formed
  size_t length;   // bytes taken: the sequence, or its maximal subpart
  bool well_formed;
};

inline Sequence read_sequence(const uint8_t* p, size_t available) {
  const uint8_t lead = p[0];
  // The length of the sequence and the range of its second byte, which
  // rules out overlong forms, surrogates and values above U+10FFFF.
  size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0) return {U'\uFFFD', 1, false};
  char32_t value = lead & (0x7F >> length);
  size_t k = 1;
  for (; k < length && k < available; ++k) {
    const uint8_t c = p[k];
    if (k == 1 ? (c < low || c > high) : (c & 0xC0) != 0x80) break;
    value = (value << 6) | (c & 0x3F);
  }
  if (k < length) return {U'\uFFFD', k, false};
  return {value, length, true};
}

// Walks strict UTF-8 and hands `emit` each code point, U+FFFD for each
// maximal subpart of an ill-formed sequence.
template <typename Emit>
void walk_utf8_replacing(std::string_view bytes, Emit&& emit) {
  const size_t n = bytes.size();
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      emit(static_cast<char32_t>(p[i++]));
      continue;
    }
    const Sequence s = read_sequence(p + i, n - i);
    emit(s.value);
    i += s.length;
  }
}

template <typename Emit>
void walk_utf8(std::string_view bytes, Emit&& emit) {
  const size_t n = bytes.size();
  auto at = [&](size_t i) -> uint8_t { return i < n ? static_cast<uint8_t>(bytes[i]) : 0; };
  size_t i = 0;
  while (i < n) {
    const uint8_t lead = at(i);
    uint32_t value;
    size_t continuation;
    if (lead < 0x80) {
      value = lead, continuation = 0;
    } else if (lead < 0xC0) {
      return;
    } else if (lead < 0xE0) {
      value = lead & 0x1F, continuation = 1;
    } else if (lead < 0xF0) {
      value = lead & 0x0F, continuation = 2;
    } else if (lead < 0xF8) {
      value = lead & 0x07, continuation = 3;
    } else {
      return;
    }
    // Bytes after the lead, the terminating zero byte included.
    if (n - i < continuation) return;
    size_t next = i + 1;
    for (size_t k = 0; k < continuation; ++k) {
      const uint8_t c = at(next++);
      if ((c & 0xC0) != 0x80) break;  // consumed, and ends the character early
      value = value * 64 + (c & 0x3F);
    }
    if (value > 0x10FFFF) return;
    if (value >= 0x10000) {
      value -= 0x10000;
      emit(static_cast<char16_t>(0xD800 | (value >> 10)));
      emit(static_cast<char16_t>(0xDC00 | (value & 0x3FF)));
    } else {
      // A unit 0 ends a 16-bit string wherever it stands.
      if (value == 0) return;
      emit(static_cast<char16_t>(value));
    }
    i = next;  // past the terminating zero when the character consumed it
  }
}


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

template <typename Units>
void decode_utf8_append(std::string_view bytes, Units& out) {
  // Never more units than bytes: size the result once, fill it, then trim.
  size_t length = out.size();
  out.resize(length + bytes.size());
  char16_t* units = out.data();
  utf8_detail::walk_utf8(bytes, [&](char16_t u) { units[length++] = u; });
  out.resize(length);
}

}  // namespace runtime
