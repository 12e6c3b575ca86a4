// The texts of the tree store's items, zero-terminated one after another in
// one arena and each named by its offset, so that a node keeps five bytes of
// offset instead of a pointer and ten million texts cost one allocation
// that grows, not ten million. Offset 0 is the empty text every item
// without one shares.
//
// A text replaced or removed stays where it is as garbage until compact()
// packs the live ones together; the arena does not know who holds which
// offset, so the store walks its nodes for it (see compact).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "tree/store_allocator.h"

namespace tree {

class TextArena {
  using Text = std::basic_string<char, std::char_traits<char>, StoreAllocator<char>>;

 public:
  // Nodes keep 40 bits of offset: a terabyte of text.
  static constexpr unsigned OffsetBits = 40;
  static constexpr uint64_t OffsetLimit = uint64_t{1} << OffsetBits;
  // Garbage stays until it makes up half of the arena, and at least this
  // much: compacting copies every live text.
  static constexpr size_t MinGarbageToCompact = size_t{1} << 20;

  // Copies a text in and returns its offset: 0 for a null or empty text.
  // Throws std::bad_alloc, the arena unchanged, when it cannot grow or the
  // offset would reach OffsetLimit.
  uint64_t store(const char* text) {
    if (!text || !*text) return 0;
    if (text_.empty()) text_.push_back('\0');
    const uint64_t offset = text_.size();
    const size_t length = std::strlen(text) + 1;
    if (offset + length > OffsetLimit) throw std::bad_alloc();
    text_.append(text, length);
    return offset;
  }
  // The text at `offset` is used no more: its bytes become garbage.
  void drop(uint64_t offset) {
    if (offset != 0) garbage_ += std::strlen(text_.data() + offset) + 1;
  }
  // Writes `text` (`length` bytes before its terminator, at least one) over
  // the text at `offset` when it is no longer, keeping the offset; the tail
  // of the old text becomes garbage. False, nothing written, when it does
  // not fit or `offset` is the shared empty text. `text` may lie in the
  // arena itself.
  bool overwrite(uint64_t offset, const char* text, size_t length);

  const char* at(uint64_t offset) const { return offset == 0 ? "" : text_.data() + offset; }
  // Bytes in use, garbage included, and how many of them are garbage.
  size_t size() const { return text_.size(); }
  size_t garbage() const { return garbage_; }

  // Makes room for this many more bytes, so that a large tree is filled
  // without copying its texts as the arena grows. Throws std::bad_alloc or
  // std::length_error when the room cannot be had.
  void reserve(size_t bytes);
  // Forgets every text and gives the memory back.
  void clear();

  // Moves the live texts, one by one, into the packed arena compact makes.
  class Packer {
   public:
    // The text's offset in the packed arena (0 stays 0). Every live text
    // is packed once: the packed arena has room for those and no more.
    uint64_t pack(uint64_t offset) {
      if (offset == 0) return 0;
      const char* text = from_.data() + offset;
      const uint64_t packed = to_.size();
      to_.append(text, std::strlen(text) + 1);
      return packed;
    }

   private:
    friend TextArena;
    Packer(const Text& from, Text& to) : from_(from), to_(to) {}
    const Text& from_;
    Text& to_;
  };

  // When garbage is due to go, calls `relocate(packer)`, which must pass
  // every live offset to packer.pack and keep the offset it returns in its
  // place; the old texts go then. When it is not due, or the room for the
  // packed arena cannot be had, `relocate` is not called and the arena and
  // its offsets stay as they are (garbage kept, every text still valid).
  template <typename Relocate>
  void compact(Relocate relocate) {
    if (garbage_ < MinGarbageToCompact || garbage_ <= text_.size() / 2) return;
    Text packed;
    try {
      packed.reserve(text_.size() - garbage_);
    } catch (const std::bad_alloc&) {
      return;
    }
    packed.push_back('\0');
    Packer packer(text_, packed);
    relocate(packer);
    text_.swap(packed);
    garbage_ = 0;
  }

 private:
  Text text_;
  size_t garbage_ = 0;
};

}  // namespace tree
