// A file descriptor with one owner, closed when the owner goes. reset() and
// close() give close's result, for writers whose data is only safe once
// close has said so.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace runtime {

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  explicit operator bool() const noexcept { return valid(); }
  int release() noexcept { return std::exchange(fd_, -1); }
  // Closes the descriptor held and takes `fd` in its place; the error
  // number of a failed close, or 0. An interrupted close has still closed
  // the descriptor on Linux, and counts as done.
  int reset(int fd = -1) noexcept {
    int error = 0;
    if (fd_ >= 0 && ::close(fd_) != 0 && errno != EINTR) error = errno;
    fd_ = fd;
    return error;
  }
  int close() noexcept { return reset(); }

 private:
  int fd_ = -1;
};

}  // namespace runtime
