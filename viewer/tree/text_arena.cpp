#include "tree/text_arena.h"

namespace tree {

bool TextArena::overwrite(uint64_t offset, const char* text, size_t length) {
  if (offset == 0 || length == 0) return false;
  char* old = text_.data() + offset;
  const size_t old_length = std::strlen(old);
  if (length > old_length) return false;
  garbage_ += old_length - length;
  std::memmove(old, text, length + 1);
  return true;
}

void TextArena::reserve(size_t bytes) {
  if (bytes < SIZE_MAX - text_.size()) text_.reserve(text_.size() + bytes + 1);
}

void TextArena::clear() {
  Text().swap(text_);
  garbage_ = 0;
}

}  // namespace tree
