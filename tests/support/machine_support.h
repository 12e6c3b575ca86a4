// What a test may need of the machine that a machine may refuse: tracing
// another process (strace's fault injection), append-only files, and
// running a program as a second user. Each check says what is missing, or
// nothing when the test can run.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace test_support {

// strace present and allowed to trace (ptrace can be refused by a
// container's seccomp profile or by the Yama setting).
inline std::optional<std::string> missing_tracing() {
  if (std::system("command -v strace >/dev/null 2>&1") != 0) return "needs strace, which is not installed";
  if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
    return "needs ptrace, which this machine refuses (strace cannot trace a child)";
  return std::nullopt;
}

// chattr +a on a file in this folder (needs root and a file system that
// keeps the flag, such as ext4; tmpfs and overlay file systems do not).
inline std::optional<std::string> missing_append_only(const std::string& file) {
  if (std::system(("chattr +a '" + file + "' 2>/dev/null").c_str()) != 0)
    return "needs chattr +a, which this user or file system refuses";
  return std::nullopt;
}

// A second user (uid and gid 65534, "nobody") that a child can become.
inline std::optional<std::string> missing_second_user() {
  if (geteuid() != 0) return "needs root, to run a program as a second user";
  const pid_t child = fork();
  if (child == 0) _exit(setgid(65534) == 0 && setuid(65534) == 0 ? 0 : 1);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "needs a second user (uid 65534), which this machine refuses";
  return std::nullopt;
}

}  // namespace test_support
