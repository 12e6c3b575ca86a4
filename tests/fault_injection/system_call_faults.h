// Output failures on purpose, for tests that walk every write of an
// operation: while a SystemCallFaults is alive, the write, fsync and close
// calls that the code under test makes (not the C library's own) are
// counted together, and the one numbered `fail_at` (1 = first) fails with
// EIO, as a failing disk would. A write that fails has written nothing; a
// close that fails has still closed the descriptor, as the kernel does.
#pragma once

#include <cstdint>

namespace fault_injection {

class SystemCallFaults {
 public:
  explicit SystemCallFaults(uint64_t fail_at);
  ~SystemCallFaults();
  SystemCallFaults(const SystemCallFaults&) = delete;
  SystemCallFaults& operator=(const SystemCallFaults&) = delete;

  bool fired() const;
  // What failed: "write", "fsync" or "close"; empty before.
  const char* failed_call() const;
  uint64_t counted() const;
};

}  // namespace fault_injection
