#include "output_block.h"

#include <algorithm>
#include <cstring>

#include "large_memory.h"

namespace search {

void OutputBlock::Piece::Free::operator()(char* bytes) const { runtime::free_large_block(bytes, capacity); }

void OutputBlock::add_piece(size_t at_least) {
  const size_t capacity = std::max(PieceSize, at_least);
  pieces_.reserve(pieces_.size() + 1);
  char* bytes = static_cast<char*>(runtime::allocate_large_block(capacity));
  pieces_.push_back({std::unique_ptr<char, Piece::Free>(bytes, Piece::Free{capacity}), 0, capacity});
}

void OutputBlock::append(std::string_view bytes) {
  while (!bytes.empty()) {
    if (pieces_.empty() || pieces_.back().used == pieces_.back().capacity)
      add_piece(bytes.size() >= PieceSize ? bytes.size() : 0);
    Piece& piece = pieces_.back();
    const size_t n = std::min(bytes.size(), piece.capacity - piece.used);
    memcpy(piece.bytes.get() + piece.used, bytes.data(), n);
    piece.used += n;
    size_ += n;
    bytes.remove_prefix(n);
  }
}

void OutputBlock::append_line(std::initializer_list<std::string_view> parts) {
  size_t length = 1;
  for (std::string_view part : parts) length += part.size();
  if (!pieces_.empty() && pieces_.back().capacity - pieces_.back().used >= length) {
    // The common case: the whole line fits in the current piece.
    Piece& piece = pieces_.back();
    char* to = piece.bytes.get() + piece.used;
    for (std::string_view part : parts) {
      memcpy(to, part.data(), part.size());
      to += part.size();
    }
    *to = '\n';
    piece.used += length;
    size_ += length;
    return;
  }
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

}  // namespace search
