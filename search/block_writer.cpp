#include "search/block_writer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/descriptor.h"

namespace search {

namespace {

constexpr size_t WriteSize = size_t{8} << 20;  // signals are looked for at least this often
// A path whose file is replaced this many times in a row while its lock is
// awaited is given up on rather than chased for ever.
constexpr int Reopens = 100;

// Signals whose default action ends the process and that can be caught.
bool ends_process(int signal) {
  switch (signal) {
    case SIGKILL:
    case SIGSTOP:  // cannot be caught or held back
    case SIGCHLD:
    case SIGCONT:
    case SIGURG:
    case SIGWINCH:  // ignored by default
    case SIGTSTP:
    case SIGTTIN:
    case SIGTTOU:  // stop the process, which ends nothing
      return false;
    default:
      return true;
  }
}

// The signals that stop an append: those that end the process by default,
// less those ignored now, which stay ignored.
class StoppingSignals {
 public:
  StoppingSignals() {
    sigemptyset(&set_);
    for (int signal = 1; signal <= SIGRTMAX; ++signal) {
      struct sigaction action;
      // sigaction refuses the signals the C library keeps for itself.
      if (!ends_process(signal) || sigaction(signal, nullptr, &action) != 0) continue;
      if (!(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN) continue;
      sigaddset(&set_, signal);
    }
  }
  // Held back until the process ends: see append_block.
  void hold() const { pthread_sigmask(SIG_BLOCK, &set_, nullptr); }
  // A held-back stopping signal, or 0.
  int pending() const {
    sigset_t pending;
    if (sigpending(&pending) != 0) return 0;
    for (int signal = 1; signal <= SIGRTMAX; ++signal)
      if (sigismember(&set_, signal) == 1 && sigismember(&pending, signal) == 1) return signal;
    return 0;
  }

 private:
  sigset_t set_;
};

void set_reason(std::string& reason, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Fills the reason within the room it has, so that it needs no memory.
void set_reason(std::string& reason, const char* format, ...) {
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  reason.assign(text, std::min(std::strlen(text), reason.capacity()));
}

ssize_t system_write(int fd, const void* bytes, size_t count) { return ::write(fd, bytes, count); }

// Where this run's bytes landed. Each write of an O_APPEND descriptor goes
// to the end of the file as it is at that moment, so another program that
// appends without the lock may put its bytes between them; `run_*` is the
// last stretch of this run's bytes with none of another program's in it.
struct Landing {
  off_t total = 0;  // bytes written
  off_t first = -1, run_start = -1, run_end = -1;
  bool known = true;  // every write's place is known

  void add(off_t end, off_t count) {
    total += count;
    if (end < 0) {
      known = false;
      return;
    }
    const off_t start = end - count;
    if (first < 0) first = start;
    if (start != run_end) run_start = start;
    run_end = end;
  }
  // Bytes that no cut at the end of the file can reach.
  off_t before_last_run() const { return run_start < 0 ? 0 : total - (run_end - run_start); }
};

}  // namespace

AppendResult append_block(const char* path, const OutputBlock& block, WriteCall write_call) {
  if (!write_call) write_call = system_write;
  AppendResult result;
  // Room for any reason given once writing has begun, so that giving it
  // needs no memory: nothing may throw while part of the block is in the
  // file.
  result.reason.reserve(512);
  // Made by this run: a run that fails leaves no empty file where there was
  // none.
  bool created = false;
  // Removes the file this run created while it is still empty, under the
  // lock: a run waiting for the lock then finds the name gone and opens it
  // anew.
  auto remove_if_created = [&](int fd) {
    struct stat now, named;
    if (created && fstat(fd, &now) == 0 && now.st_size == 0 && ::stat(path, &named) == 0 &&
        named.st_dev == now.st_dev && named.st_ino == now.st_ino)
      ::unlink(path);
  };
  // Before the lock is held, the file, if any, is not this run's to remove.
  int held_fd = -1;
  auto fail = [&](const char* what, int error) {
    result.kind = AppendResult::Kind::Failed;
    set_reason(result.reason, "%s%s", what, std::strerror(error));
    if (held_fd >= 0) remove_if_created(held_fd);
    return std::move(result);
  };

  // Never with O_TRUNC: another run may have created the file and written
  // its block a moment ago. O_APPEND puts every write at the true end, so
  // that bytes appended by a program that takes no lock are never
  // overwritten. O_NONBLOCK keeps a FIFO from blocking the open.
  constexpr int flags = O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  runtime::Descriptor file;
  bool readable = true;
  struct stat status;
  for (int attempt = 0;; ++attempt) {
    readable = true;
    int fd = ::open(path, O_RDWR | O_EXCL | flags, 0666);
    created = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::open(path, O_RDWR | flags, 0666);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
      // A write-only file is still appended to, as a shell's >> does.
      readable = false;
      fd = ::open(path, O_WRONLY | flags, 0666);
    }
    if (fd < 0) return fail("", errno);
    file.reset(fd);
    if (fstat(file.get(), &status) != 0) return fail("", errno);
    if (!S_ISREG(status.st_mode)) {
      result.kind = AppendResult::Kind::Failed;
      result.reason = "not a regular file";
      return result;
    }
    fcntl(file.get(), F_SETFL, fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    int locked;
    do locked = flock(file.get(), LOCK_EX);
    while (locked != 0 && errno == EINTR);
    if (locked != 0) return fail("cannot lock: ", errno);
    // While the lock was awaited the file may have been renamed or removed
    // (a rotated list): the block belongs in the file the path names now.
    struct stat named;
    if (::stat(path, &named) == 0 && named.st_dev == status.st_dev && named.st_ino == status.st_ino) break;
    if (attempt == Reopens) {
      result.kind = AppendResult::Kind::Failed;
      result.reason = "the file is replaced each time it is locked";
      return result;
    }
  }
  held_fd = file.get();
  // A second descriptor of the same open file keeps the lock while the
  // first is closed, so that a failed close can still be rolled back. It is
  // made before anything is written, as nothing could be rolled back once
  // the lock is gone.
  runtime::Descriptor keeper(fcntl(file.get(), F_DUPFD_CLOEXEC, 0));
  if (!keeper.valid()) return fail("", errno);

  if (fstat(file.get(), &status) != 0) return fail("", errno);
  bool line_end_first = false;
  if (status.st_size > 0 && readable) {
    char last;
    if (pread(file.get(), &last, 1, status.st_size - 1) != 1) return fail("cannot read its end: ", errno);
    line_end_first = last != '\n';
  }
  std::vector<std::string_view> pieces = block.pieces();

  // From here on nothing throws, and the only bytes this run adds to the
  // file are the block's; anything that stops the append cuts them back.
  // With SIGXFSZ held back too, a file-size limit fails the write (EFBIG)
  // instead of ending the process, so that the output can be cut back; the
  // signal the limit raises with it is not looked for after a failed write.
  const StoppingSignals signals;
  signals.hold();
  Landing landing;
  auto roll_back = [&](int fd, const char* why) {
    const off_t end_before = status.st_size;
    struct stat now;
    if (landing.total == 0) {
      remove_if_created(fd);
      set_reason(result.reason, "%s; the file is left as it was", why);
      return;
    }
    // Only this run's last stretch can be cut off, and only while nothing
    // follows it: a cut must never take another program's bytes.
    int error = 0;
    off_t left = landing.total;
    if (!landing.known || fstat(fd, &now) != 0) {
      error = landing.known ? errno : 0;
    } else if (now.st_size == landing.run_end) {
      if (ftruncate(fd, landing.run_start) == 0) left = landing.before_last_run();
      else error = errno;
    }
    if (left == 0 && landing.first == end_before) {
      remove_if_created(fd);
      set_reason(result.reason, "%s; the file is left as it was", why);
    } else if (left == 0) {
      set_reason(result.reason, "%s; the unfinished block is removed, and what another program wrote meanwhile is kept",
                 why);
    } else if (error) {
      set_reason(result.reason, "%s; the unfinished block could not be removed (%s), %lld bytes of it remain", why,
                 std::strerror(error), static_cast<long long>(left));
    } else if (!landing.known) {
      set_reason(result.reason, "%s; where the unfinished block went is not known, %lld bytes of it remain", why,
                 static_cast<long long>(left));
    } else {
      set_reason(result.reason,
                 "%s; another program wrote to the file meanwhile, and what it wrote is kept, so %lld bytes of the "
                 "unfinished block remain, the first at byte %lld",
                 why, static_cast<long long>(left), static_cast<long long>(landing.first));
    }
  };
  auto failed = [&](int fd, int error, const char* what = "") {
    char why[128];
    std::snprintf(why, sizeof why, "%s%s", what, std::strerror(error));
    roll_back(fd, why);
    result.kind = AppendResult::Kind::Failed;
  };
  auto stopped = [&](int fd, int signal) {
    char why[64];
    if (const char* name = sigabbrev_np(signal)) std::snprintf(why, sizeof why, "stopped by SIG%s", name);
    else if (signal >= SIGRTMIN && signal <= SIGRTMAX)
      std::snprintf(why, sizeof why, "stopped by SIGRTMIN+%d", signal - SIGRTMIN);
    else std::snprintf(why, sizeof why, "stopped by signal %d", signal);
    roll_back(fd, why);
    result.kind = AppendResult::Kind::Stopped;
    result.signal = signal;
  };
  // Writes the bytes; false, with the result made, when the append stops.
  auto put = [&](std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t written = write_call(file.get(), bytes.data(), std::min(bytes.size(), WriteSize));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        failed(file.get(), written < 0 ? errno : EIO);
        return false;
      }
      // With O_APPEND the offset is left just past the bytes written.
      landing.add(lseek(file.get(), 0, SEEK_CUR), written);
      bytes.remove_prefix(static_cast<size_t>(written));
      if (const int signal = signals.pending()) {
        stopped(file.get(), signal);
        return false;
      }
    }
    return true;
  };

  if (line_end_first && !put("\n")) return result;
  // The spilled bytes are written straight from a mapping of their file, a
  // window at a time: no copy of them is made, and a page that cannot be
  // read fails the write (EFAULT) rather than stopping the process.
  for (size_t at = 0; at < block.spilled(); at += WriteSize) {
    const size_t length = std::min(WriteSize, block.spilled() - at);
    void* window = mmap(nullptr, length, PROT_READ, MAP_SHARED, block.spill_descriptor(), static_cast<off_t>(at));
    if (window == MAP_FAILED) {
      failed(file.get(), errno, "cannot read the block back: ");
      return result;
    }
    const bool went_on = put({static_cast<const char*>(window), length});
    munmap(window, length);
    if (!went_on) return result;
  }
  for (std::string_view piece : pieces)
    if (!put(piece)) return result;
  if (const int error = file.reset()) {
    failed(keeper.get(), error);
    return result;
  }
  if (const int signal = signals.pending()) {
    stopped(keeper.get(), signal);
    return result;
  }
  // The block is whole in the file. The last close lets the lock go; an
  // error from it is no news of the block, which the close before wrote out.
  keeper.reset();
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
