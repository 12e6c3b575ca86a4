// The built treeviewer, started in a folder as a user would start it, with
// its standard output and standard error caught in a file beside the folder.
// Include after gtest: it needs x_inspect.h, whose Xlib macros clash with
// gtest's headers.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/x_inspect.h"

class ViewerProcess {
 public:
  // Without a display the program is started with DISPLAY unset; a display
  // name replaces the test's own DISPLAY.
  explicit ViewerProcess(const std::filesystem::path& folder, bool with_display = true,
                         const char* display_name = nullptr)
      : out_(folder.parent_path() / (folder.filename().string() + ".out")) {
    pid_ = fork();
    if (pid_ == 0) {
      const int output = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int nothing = open("/dev/null", O_RDONLY);
      if (output < 0 || nothing < 0 || chdir(folder.c_str()) != 0) _exit(126);
      dup2(nothing, 0);
      dup2(output, 1);
      dup2(output, 2);
      if (!with_display) unsetenv("DISPLAY");
      if (with_display && display_name) setenv("DISPLAY", display_name, 1);
      execl(TREEVIEWER_PATH, "treeviewer", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~ViewerProcess() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove(out_, ignored);
  }
  ViewerProcess(const ViewerProcess&) = delete;
  ViewerProcess& operator=(const ViewerProcess&) = delete;

  pid_t pid() const { return pid_; }

  bool finished() {
    if (status_) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return status_.has_value();
  }

  // The exit status once the program has ended by itself; nothing when it
  // is still running after the timeout or ended otherwise.
  std::optional<int> exit_status(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    x_inspect::wait_until([&] { return finished(); }, timeout);
    if (!status_ || !WIFEXITED(*status_)) return std::nullopt;
    return WEXITSTATUS(*status_);
  }

  // Everything it wrote to standard output and standard error.
  std::string output() const {
    std::ifstream in(out_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::filesystem::path out_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// The viewer's client windows once there are any, or once it has ended, or
// after 30 s: whichever comes first.
inline std::vector<Window> viewer_windows(Display* display, ViewerProcess& viewer) {
  std::vector<Window> found;
  x_inspect::wait_until(
      [&] {
        found = x_inspect::client_windows_of(display, viewer.pid());
        return !found.empty() || viewer.finished();
      },
      std::chrono::seconds(30));
  return found;
}
