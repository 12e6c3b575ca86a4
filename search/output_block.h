// The block one search appends to its output: the heading line and one line
// per matching pair, as bytes. It is kept in pieces of two megabytes (huge
// pages where the system has them) that are never moved or copied, so holding
// a block costs its size and little more.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace search {

class OutputBlock {
 public:
  static constexpr size_t PieceSize = size_t{2} << 20;

  // Adds the bytes at the end. Throws std::bad_alloc when memory runs out.
  void append(std::string_view bytes);
  // Adds a line: its parts one after another, then "\n".
  void append_line(std::initializer_list<std::string_view> parts);

  size_t size() const { return size_; }
  // The block in order, as consecutive pieces.
  std::vector<std::string_view> pieces() const;

 private:
  struct Piece {
    struct Free {
      size_t capacity;
      void operator()(char* bytes) const;
    };
    std::unique_ptr<char, Free> bytes;
    size_t used, capacity;
  };
  void add_piece(size_t at_least);
  std::vector<Piece> pieces_;
  size_t size_ = 0;
};

}  // namespace search
