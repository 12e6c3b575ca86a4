#include "utf8.h"

#include <cstdint>

void decode_utf8(std::string_view bytes, std::u16string& out) {
  out.clear();
  decode_utf8_append(bytes, out);
}

std::u16string decode_utf8(std::string_view bytes) {
  std::u16string out;
  decode_utf8(bytes, out);
  return out;
}

size_t decode_utf8_length(std::string_view bytes) {
  size_t count = 0;
  utf8_detail::walk_utf8(bytes, [&](char16_t) { ++count; });
  return count;
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
