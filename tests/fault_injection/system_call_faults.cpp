#include "tests/fault_injection/system_call_faults.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace fault_injection {

namespace {

std::atomic<bool> armed{false};
std::atomic<uint64_t> counter{0};
std::atomic<uint64_t> failing{0};
std::atomic<const char*> failed{""};

// True when this call is the one to fail.
bool fails_now(const char* call) noexcept {
  if (!armed.load(std::memory_order_acquire)) return false;
  if (counter.fetch_add(1) + 1 != failing.load()) return false;
  failed.store(call);
  return true;
}

}  // namespace

SystemCallFaults::SystemCallFaults(uint64_t fail_at) {
  counter.store(0);
  failing.store(fail_at);
  failed.store("");
  armed.store(true, std::memory_order_release);
}

SystemCallFaults::~SystemCallFaults() { armed.store(false, std::memory_order_release); }

bool SystemCallFaults::fired() const { return *failed.load() != '\0'; }
const char* SystemCallFaults::failed_call() const { return failed.load(); }
uint64_t SystemCallFaults::counted() const { return counter.load(); }

}  // namespace fault_injection

namespace {

// The next definition of a call: a sanitizer's, which keeps track of
// descriptors, or the C library's. Looked up once, without a guarded static,
// which a sanitizer's runtime may not take while it starts.
template <typename Call>
Call next_call(std::atomic<Call>& next, const char* name) {
  Call call = next.load(std::memory_order_relaxed);
  if (!call) next.store(call = reinterpret_cast<Call>(dlsym(RTLD_NEXT, name)), std::memory_order_relaxed);
  return call;
}

using Write = ssize_t (*)(int, const void*, size_t);
using Descriptor = int (*)(int);
std::atomic<Write> next_write{nullptr};
std::atomic<Descriptor> next_fsync{nullptr};
std::atomic<Descriptor> next_close{nullptr};

}  // namespace

// The calls of the code under test, replaced for the whole test binary and
// passed on when they are not the one to fail.
extern "C" ssize_t write(int fd, const void* bytes, size_t count) {
  if (fault_injection::fails_now("write")) {
    errno = EIO;
    return -1;
  }
  return next_call(next_write, "write")(fd, bytes, count);
}

extern "C" int fsync(int fd) {
  if (fault_injection::fails_now("fsync")) {
    errno = EIO;
    return -1;
  }
  return next_call(next_fsync, "fsync")(fd);
}

extern "C" int close(int fd) {
  const Descriptor call = next_call(next_close, "close");
  if (fault_injection::fails_now("close")) {
    call(fd);
    errno = EIO;
    return -1;
  }
  return call(fd);
}
