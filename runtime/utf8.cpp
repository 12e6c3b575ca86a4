#include "runtime/utf8.h"

#include <cstdint>
#include <cstring>

namespace runtime {

void decode_utf8(std::string_view bytes, std::u16string& out) {
  out.clear();
  decode_utf8_append(bytes, out);
}

std::u16string decode_utf8(std::string_view bytes) {
  std::u16string out;
  decode_utf8(bytes, out);
  return out;
}

std::string encode_utf8(std::u16string_view units) {
  std::string out;
  out.reserve(encode_utf8_length(units));
  utf8_detail::walk_encode(units, [&](char b) { out.push_back(b); });
  return out;
}

size_t encode_utf8_length(std::u16string_view units) {
  size_t count = 0;
  utf8_detail::walk_encode(units, [&](char) { ++count; });
  return count;
}

bool is_well_formed_utf8(std::string_view bytes) {
  const size_t n = bytes.size();
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t i = 0;
  while (i < n) {
    // ASCII runs are the common case: skip them eight bytes at a time.
    uint64_t word;
    if (n - i >= 8 && (memcpy(&word, p + i, 8), (word & 0x8080808080808080ULL) == 0)) {
      i += 8;
    } else if (p[i] < 0x80) {
      ++i;
    } else {
      const utf8_detail::Sequence s = utf8_detail::read_sequence(p + i, n - i);
      if (!s.well_formed) return false;
      i += s.length;
    }
  }
  return true;
}

void repair_utf8(std::string_view bytes, std::string& out) {
  out.clear();
  out.reserve(bytes.size());
  utf8_detail::walk_utf8_replacing(bytes, [&](char32_t c) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  });
}

std::string repair_utf8(std::string_view bytes) {
  std::string out;
  repair_utf8(bytes, out);
  return out;
}

void decode_utf8_replacing(std::string_view bytes, std::u16string& out) {
  out.clear();
  out.reserve(bytes.size());
  utf8_detail::walk_utf8_replacing(bytes, [&](char32_t c) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 | (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  });
}

}  // namespace runtime
