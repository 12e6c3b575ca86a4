#include "system_call_faults.h"

#include <sys/syscall.h>
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

// The calls of the code under test, replaced for the whole test binary and
// passed to the kernel when they are not the one to fail. The C library's
// wrapper of syscall gives -1 and sets errno on failure, as these do.
extern "C" ssize_t write(int fd, const void* bytes, size_t count) {
  if (fault_injection::fails_now("write")) {
    errno = EIO;
    return -1;
  }
  return syscall(SYS_write, fd, bytes, count);
}

extern "C" int fsync(int fd) {
  if (fault_injection::fails_now("fsync")) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(syscall(SYS_fsync, fd));
}

extern "C" int close(int fd) {
  if (fault_injection::fails_now("close")) {
    syscall(SYS_close, fd);
    errno = EIO;
    return -1;
  }
  return static_cast<int>(syscall(SYS_close, fd));
}
