// A growable block of bytes for lines and batches of lines. It grows with
// realloc, which moves large blocks by remapping their pages rather than by
// copying them, so that a line of hundreds of megabytes never needs twice its
// size while it grows. Throws std::bad_alloc when memory runs out.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "runtime/owned.h"

namespace search {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(ByteBuffer&& other) noexcept
      : bytes_(std::move(other.bytes_)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    bytes_ = std::move(other.bytes_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }

  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {bytes_.get(), size_}; }
  void clear() { size_ = 0; }
  void shrink(size_t size) { size_ = size < size_ ? size : size_; }

  // Room for n more bytes at the end; returns where they go. The caller
  // fills them and calls commit(n).
  char* extend(size_t n) {
    if (capacity_ - size_ < n) grow(n);
    return bytes_.get() + size_;
  }
  void commit(size_t n) { size_ += n; }
  void append(const char* bytes, size_t n) {
    if (n == 0) return;
    memcpy(extend(n), bytes, n);
    size_ += n;
  }
  void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
  void push_back(char byte) {
    *extend(1) = byte;
    ++size_;
  }

 private:
  void grow(size_t n) {
    size_t capacity = capacity_ ? capacity_ : 4096;
    while (capacity - size_ < n) {
      if (capacity > SIZE_MAX / 2) throw std::bad_alloc();
      capacity *= 2;
    }
    void* moved = std::realloc(bytes_.get(), capacity);
    if (!moved) throw std::bad_alloc();
    (void)bytes_.release();
    bytes_.reset(static_cast<char*>(moved));
    capacity_ = capacity;
  }

  runtime::Owned<char, ::free> bytes_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace search
