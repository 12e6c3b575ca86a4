#include "tree/item_text.h"

namespace tree {

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

bool displayed_text(const char* text, std::string& shown) {
  size_t bytes = 0;
  size_t characters = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (p[bytes] != 0) {
    if ((p[bytes] & 0xC0) != 0x80) {
      if (characters == DisplayedTextLimit) {
        // Texts are well-formed UTF-8, so this cut lies between characters.
        shown.assign(text, bytes);
        shown += "\u2026";
        return true;
      }
      ++characters;
    }
    ++bytes;
  }
  return false;
}

bool text_contains(const char* text, std::string_view needle) {
  if (needle.empty()) return true;
  const char first_lower = ascii_lower(needle[0]);
  const char first_upper = first_lower >= 'a' && first_lower <= 'z' ? static_cast<char>(first_lower - 32)
                                                                     : first_lower;
  for (const char* p = text; *p; ++p) {
    if (*p != first_lower && *p != first_upper) continue;
    size_t i = 1;
    while (i < needle.size() && p[i] && ascii_lower(p[i]) == ascii_lower(needle[i])) ++i;
    if (i == needle.size()) return true;
  }
  return false;
}

}  // namespace tree
