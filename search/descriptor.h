// An owned file descriptor, closed when its owner goes.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace search {

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the descriptor and takes `fd` in its place; the error number of
  // a failed close, or 0.
  int reset(int fd = -1) {
    int error = 0;
    if (fd_ >= 0 && ::close(fd_) != 0 && errno != EINTR) error = errno;
    fd_ = fd;
    return error;
  }

 private:
  int fd_;
};

}  // namespace search
