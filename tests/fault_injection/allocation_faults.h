// Allocation failures on purpose, for tests that walk every allocation of an
// operation: while an AllocationFaults is alive, the allocations made (by
// any thread) are counted, and the one numbered `fail_at` fails as running
// out of memory would: operator new throws std::bad_alloc (its nothrow forms
// return null), a mapping of anonymous memory gives MAP_FAILED with ENOMEM,
// and a C library's allocator hooked to ask allocation_fails_now (as
// Hyperscan's can be) gives null. Only that one fails; the ones after it succeed again.
//
// A test runs the operation with fail_at = 1, 2, 3 … until a run ends with
// no failure fired: by then every allocation point has been failed once.
#pragma once

#include <cstdint>

namespace fault_injection {

class AllocationFaults {
 public:
  explicit AllocationFaults(uint64_t fail_at);
  ~AllocationFaults();
  AllocationFaults(const AllocationFaults&) = delete;
  AllocationFaults& operator=(const AllocationFaults&) = delete;

  // Whether the failure was made, and how many allocations were counted.
  bool fired() const;
  uint64_t counted() const;
};

// Counts one allocation; true when it is the one to fail. For the
// allocators of C libraries that let a program supply its own.
bool allocation_fails_now() noexcept;

}  // namespace fault_injection
