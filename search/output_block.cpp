#include "output_block.h"

#include <algorithm>
#include <cstring>

void OutputBlock::append(std::string_view bytes) {
  while (!bytes.empty()) {
    if (pieces_.empty() || pieces_.back().used == pieces_.back().capacity) {
      const size_t capacity = std::max(PieceSize, bytes.size() >= PieceSize ? bytes.size() : 0);
      pieces_.reserve(pieces_.size() + 1);
      pieces_.push_back({std::make_unique_for_overwrite<char[]>(capacity), 0, capacity});
    }
    Piece& piece = pieces_.back();
    const size_t n = std::min(bytes.size(), piece.capacity - piece.used);
    memcpy(piece.bytes.get() + piece.used, bytes.data(), n);
    piece.used += n;
    size_ += n;
    bytes.remove_prefix(n);
  }
}

void OutputBlock::append_line(std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts) append(part);
  append("\n");
}

std::vector<std::string_view> OutputBlock::pieces() const {
  std::vector<std::string_view> all;
  all.reserve(pieces_.size());
  for (const Piece& piece : pieces_)
    if (piece.used) all.emplace_back(piece.bytes.get(), piece.used);
  return all;
}
