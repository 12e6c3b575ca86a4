#include "tests/fault_injection/allocation_faults.h"

#include <dlfcn.h>
#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace fault_injection {

namespace {

// The test's one counter: armed by an AllocationFaults, read by every
// allocation of the process.
std::atomic<bool> armed{false};
std::atomic<uint64_t> counter{0};
std::atomic<uint64_t> failing{0};
std::atomic<bool> has_fired{false};

}  // namespace

bool allocation_fails_now() noexcept {
  if (!armed.load(std::memory_order_acquire)) return false;
  if (counter.fetch_add(1, std::memory_order_relaxed) + 1 != failing.load(std::memory_order_relaxed)) return false;
  has_fired.store(true, std::memory_order_relaxed);
  return true;
}

namespace {

void* allocate(std::size_t bytes) {
  if (allocation_fails_now()) throw std::bad_alloc();
  if (void* memory = std::malloc(bytes ? bytes : 1)) return memory;
  throw std::bad_alloc();
}

void* allocate_aligned(std::size_t bytes, std::align_val_t alignment) {
  if (allocation_fails_now()) throw std::bad_alloc();
  const auto align = static_cast<std::size_t>(alignment);
  if (void* memory = std::aligned_alloc(align, (bytes + align - 1) / align * align)) return memory;
  throw std::bad_alloc();
}

}  // namespace

AllocationFaults::AllocationFaults(uint64_t fail_at) {
  counter.store(0);
  failing.store(fail_at);
  has_fired.store(false);
  armed.store(true, std::memory_order_release);
}

AllocationFaults::~AllocationFaults() { armed.store(false, std::memory_order_release); }

bool AllocationFaults::fired() const { return has_fired.load(); }
uint64_t AllocationFaults::counted() const { return counter.load(); }

}  // namespace fault_injection

// The program's allocations, replaced for the whole test binary.
void* operator new(std::size_t bytes) { return fault_injection::allocate(bytes); }
void* operator new[](std::size_t bytes) { return fault_injection::allocate(bytes); }
void* operator new(std::size_t bytes, std::align_val_t alignment) {
  return fault_injection::allocate_aligned(bytes, alignment);
}
void* operator new[](std::size_t bytes, std::align_val_t alignment) {
  return fault_injection::allocate_aligned(bytes, alignment);
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  try {
    return fault_injection::allocate(bytes);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  try {
    return fault_injection::allocate(bytes);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

// Mappings of memory made by the code under test (the C library's own go
// straight to the kernel and are not counted).
// The call goes on to the next mmap (a sanitizer's, which keeps track of
// mappings, or the C library's).
extern "C" void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  if ((flags & MAP_ANONYMOUS) && fault_injection::allocation_fails_now()) {
    errno = ENOMEM;
    return MAP_FAILED;
  }
  // Looked up once, without a guarded static: a sanitizer's runtime calls
  // this while it starts, before its own interceptors of such guards work.
  using Mmap = void* (*)(void*, size_t, int, int, int, off_t);
  static std::atomic<Mmap> next{nullptr};
  Mmap call = next.load(std::memory_order_relaxed);
  if (!call) next.store(call = reinterpret_cast<Mmap>(dlsym(RTLD_NEXT, "mmap")), std::memory_order_relaxed);
  return call(address, length, protection, flags, fd, offset);
}
