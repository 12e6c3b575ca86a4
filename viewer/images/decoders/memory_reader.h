// A read position over an image file held in memory, for the format
// libraries that read through callbacks. Every read stays inside the bytes,
// wherever a seek has put the position.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace images {

struct MemoryReader {
  std::span<const uint8_t> bytes;
  uint64_t position = 0;  // may lie past the end after a seek

  // The bytes from the position to the end; 0 past the end.
  size_t remaining() const { return position < bytes.size() ? bytes.size() - position : 0; }

  // Copies up to `count` bytes from the position on and moves past them.
  // Returns how many were copied.
  size_t read(void* out, uint64_t count) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, remaining()));
    if (n) std::memcpy(out, bytes.data() + position, n);
    position += n;
    return n;
  }
};

}  // namespace images
