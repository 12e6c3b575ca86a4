#include "runtime/string_functions.h"

#include <algorithm>

namespace runtime {

int32_t string_length(std::u16string_view text) { return static_cast<int32_t>(text.size()); }

std::u16string string_left(std::u16string_view text, int32_t count) {
  const size_t n = static_cast<size_t>(std::clamp<int64_t>(count, 0, text.size()));
  return std::u16string(text.substr(0, n));
}

std::u16string string_right(std::u16string_view text, int32_t count) {
  const size_t n = static_cast<size_t>(std::clamp<int64_t>(count, 0, text.size()));
  return std::u16string(text.substr(text.size() - n));
}

std::u16string string_field(std::u16string_view text, int32_t index, std::u16string_view delimiter) {
  if (index <= 0) return {};
  // Only the first unit of the delimiter counts; an empty delimiter never
  // occurs inside the text, so the whole text is field 1.
  if (delimiter.empty()) return index == 1 ? std::u16string(text) : std::u16string();
  const char16_t mark = delimiter.front();
  size_t start = 0;
  for (int32_t field = 1; field < index; ++field) {
    const size_t end = text.find(mark, start);
    if (end == std::u16string_view::npos) return {};
    start = end + 1;
  }
  const size_t end = text.find(mark, start);
  return std::u16string(text.substr(start, end == std::u16string_view::npos ? text.npos : end - start));
}

int64_t parse_int(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  unsigned base = 10;
  if (i < text.size() && text[i] == u'$') base = 16, ++i;
  else if (i < text.size() && text[i] == u'%') base = 2, ++i;
  // Unsigned arithmetic: wraps modulo 2^64 by definition.
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    unsigned digit;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    else break;
    if (digit >= base) break;
    value = value * base + digit;
  }
  return static_cast<int64_t>(negative ? 0 - value : value);
}

bool strings_equal(std::u16string_view a, std::u16string_view b) { return a == b; }

}  // namespace runtime
