// Bytes read from one owned descriptor into the reader's own buffer, with
// what each read means for the reader: more bytes, none just now (a
// non-blocking descriptor with nothing to give yet), or the end. The line
// rules know nothing of reading, nor this of lines: a reader hands what it
// read here to a LineScanner.
#pragma once

#include <cstddef>
#include <span>

#include "runtime/descriptor.h"

namespace runtime {

class ByteSource {
 public:
  enum class Status { More, Blocked, End };
  struct Filled {
    Status status;
    size_t bytes;  // how many were put in the room; none unless More
  };

  ByteSource() = default;
  explicit ByteSource(Descriptor fd) noexcept : fd_(std::move(fd)) {}

  bool is_open() const noexcept { return fd_.valid(); }
  int descriptor() const noexcept { return fd_.get(); }

  // One read into `room` (not empty), retried when a signal interrupts it. A read error
  // counts as the end, as a reader can do nothing else with it; the
  // descriptor stays open, so that a reader whose End may not be final (a
  // FIFO before its writer came) can read again.
  Filled fill(std::span<char> room) noexcept;
  void close() noexcept { fd_.reset(); }

 private:
  Descriptor fd_;
};

}  // namespace runtime
