#include "block_writer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace search {

namespace {

constexpr size_t WriteSize = size_t{8} << 20;  // signals are looked for at least this often

std::string describe(int error) { return std::strerror(error); }

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the descriptor; the error number of a failed close, or 0.
  int reset() {
    if (fd_ < 0) return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 || errno == EINTR ? 0 : errno;
  }

 private:
  int fd_;
};

sigset_t stopping_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

// A held-back stopping signal, or 0.
int pending_signal() {
  sigset_t pending;
  if (sigpending(&pending) != 0) return 0;
  for (int signal : {SIGTERM, SIGINT, SIGHUP})
    if (sigismember(&pending, signal) == 1) return signal;
  return 0;
}

// Holds the stopping signals back for its lifetime, unless released.
class SignalHold {
 public:
  SignalHold() {
    const sigset_t set = stopping_signals();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalHold() {
    if (held_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  void keep() { held_ = false; }

 private:
  sigset_t previous_;
  bool held_ = true;
};

ssize_t system_write(int fd, const void* bytes, size_t count) { return ::write(fd, bytes, count); }

}  // namespace

AppendResult append_block(const char* path, const OutputBlock& block, WriteCall write_call) {
  if (!write_call) write_call = system_write;
  AppendResult result;
  auto fail = [&](std::string reason) {
    result.kind = AppendResult::Failed;
    result.reason = std::move(reason);
    return result;
  };

  // Never with O_TRUNC: another run may have created the file and written
  // its block a moment ago. O_NONBLOCK keeps a FIFO from blocking the open.
  constexpr int flags = O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  bool readable = true;
  int fd = ::open(path, O_RDWR | flags, 0666);
  if (fd < 0 && (errno == EACCES || errno == EPERM)) {
    readable = false;
    fd = ::open(path, O_WRONLY | O_APPEND | flags, 0666);
  }
  if (fd < 0) return fail(describe(errno));
  Descriptor file(fd);
  struct stat status;
  if (fstat(file.get(), &status) != 0) return fail(describe(errno));
  if (!S_ISREG(status.st_mode)) return fail("not a regular file");
  fcntl(file.get(), F_SETFL, fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);

  int locked;
  do locked = flock(file.get(), LOCK_EX);
  while (locked != 0 && errno == EINTR);
  if (locked != 0) return fail("cannot lock: " + describe(errno));

  SignalHold hold;
  if (fstat(file.get(), &status) != 0) return fail(describe(errno));
  const off_t before = status.st_size;
  bool line_end_first = false;
  if (before > 0 && readable) {
    char last;
    if (pread(file.get(), &last, 1, before - 1) != 1) return fail("cannot read its end: " + describe(errno));
    line_end_first = last != '\n';
  }
  if (readable && lseek(file.get(), before, SEEK_SET) != before) return fail(describe(errno));

  // From here on the file only changes through the block: anything that
  // stops the append cuts it back to `before`.
  auto roll_back = [&](int fd, std::string reason) {
    if (ftruncate(fd, before) != 0) {
      struct stat now;
      const off_t left = fstat(fd, &now) == 0 ? now.st_size - before : -1;
      reason += "; the unfinished block could not be removed (" + describe(errno) + "), " +
                std::to_string(left) + " bytes of it remain";
    } else {
      reason += "; the file is left as it was";
    }
    result.reason = std::move(reason);
  };
  auto stopped = [&](int fd, int signal) {
    const char* name = sigabbrev_np(signal);
    roll_back(fd, "stopped by " + (name ? std::string("SIG") + name : "signal " + std::to_string(signal)));
    result.kind = AppendResult::Stopped;
    result.signal = signal;
    hold.keep();
    return result;
  };

  std::vector<std::string_view> pieces = block.pieces();
  if (line_end_first) pieces.insert(pieces.begin(), "\n");
  for (std::string_view piece : pieces) {
    while (!piece.empty()) {
      const ssize_t written = write_call(file.get(), piece.data(), std::min(piece.size(), WriteSize));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        const int error = written < 0 ? errno : EIO;
        roll_back(file.get(), describe(error));
        result.kind = AppendResult::Failed;
        return result;
      }
      piece.remove_prefix(static_cast<size_t>(written));
      if (const int signal = pending_signal()) return stopped(file.get(), signal);
    }
  }
  // A second descriptor of the same open file keeps the lock while the
  // first is closed, so that a failed close can still be rolled back.
  Descriptor keeper(fcntl(file.get(), F_DUPFD_CLOEXEC, 0));
  const int holder = keeper.valid() ? keeper.get() : file.get();
  if (keeper.valid()) {
    if (const int error = file.reset()) {
      roll_back(holder, describe(error));
      result.kind = AppendResult::Failed;
      return result;
    }
  }
  if (const int signal = pending_signal()) return stopped(holder, signal);
  if (const int error = keeper.valid() ? keeper.reset() : file.reset()) {
    // The lock is gone with the descriptor; the block may be incomplete.
    result.kind = AppendResult::Failed;
    result.reason = describe(error) + "; the block may be incomplete";
  }
  return result;
}

void end_by_signal(int signal) {
  ::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  std::_Exit(128 + signal);
}

}  // namespace search
