// The block one search appends to its output: the heading line and one line
// per matching pair, as bytes. It is kept in pieces of two megabytes (huge
// pages where the system has them) that are never moved or copied, so holding
// a block costs its size and little more. A block given a spill folder holds
// no more than a bounded part of itself in memory: once it grows past that,
// its earlier bytes go to an unlinked temporary file in that folder, which
// vanishes with the process.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/descriptor.h"

namespace search {

class OutputBlock {
 public:
  static constexpr size_t PieceSize = size_t{2} << 20;
  // The most a spilling block holds in memory, by default.
  static constexpr size_t MemoryLimit = 16 * PieceSize;

  // A block held in memory whatever its size.
  OutputBlock() = default;
  // A block that spills to a temporary file in `folder` beyond
  // `memory_limit` bytes held.
  explicit OutputBlock(std::string folder, size_t memory_limit = MemoryLimit);

  // Adds the bytes at the end. Throws std::bad_alloc when memory runs out,
  // std::system_error when the temporary file cannot be made or written.
  void append(std::string_view bytes);
  // Adds a line: its parts one after another, then "\n".
  void append_line(std::initializer_list<std::string_view> parts);

  size_t size() const { return spilled_ + held_; }
  // The block's first spilled() bytes are in the temporary file, open as
  // spill_descriptor() (or -1 when none), from its start.
  size_t spilled() const { return spilled_; }
  int spill_descriptor() const { return spill_.get(); }
  // The rest of the block in order, as consecutive pieces.
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
  // Moves every byte held in memory to the temporary file.
  void spill();
  void spill_bytes(std::string_view bytes);

  std::vector<Piece> pieces_;
  size_t held_ = 0, spilled_ = 0;
  std::string folder_;  // empty: no spilling
  size_t memory_limit_ = 0;
  runtime::Descriptor spill_;
};

}  // namespace search
