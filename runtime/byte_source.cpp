#include "runtime/byte_source.h"

#include <unistd.h>

#include <cerrno>

namespace runtime {

ByteSource::Filled ByteSource::fill(std::span<char> room) noexcept {
  if (!fd_.valid()) return {Status::End, 0};
  for (;;) {
    const ssize_t got = ::read(fd_.get(), room.data(), room.size());
    if (got > 0) return {Status::More, static_cast<size_t>(got)};
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return {Status::Blocked, 0};
    return {Status::End, 0};
  }
}

}  // namespace runtime
