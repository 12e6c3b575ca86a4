// treeviewer's command line as a user meets it in a terminal: --help and
// --version answer on standard output without a display; every other
// argument reaches the toolkit, which shows in how it fails to open the
// display it was given.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "runtime/descriptor.h"
#include "tests/support/scratch_folder.h"

namespace {

using namespace std::chrono_literals;

using runtime::Descriptor;

struct Finished {
  std::optional<int> status;  // nothing: killed after the deadline, or not started
  std::string out;
  std::string err;
};

// Runs the program in `folder` with the arguments, DISPLAY set to `display`
// or unset, and standard input empty; collects both outputs until it ends.
Finished run_treeviewer(const std::filesystem::path& folder, const std::vector<std::string>& arguments,
                        const char* display) {
  Finished result;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return result;
  Descriptor out_read(out_pipe[0]), out_write(out_pipe[1]);
  if (pipe2(err_pipe, O_CLOEXEC) != 0) return result;
  Descriptor err_read(err_pipe[0]), err_write(err_pipe[1]);

  std::vector<std::string> argv_text{"treeviewer"};
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argv_text) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) return result;
  if (pid == 0) {
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing < 0 || chdir(folder.c_str()) != 0) _exit(126);
    dup2(nothing, 0);
    dup2(out_write.get(), 1);
    dup2(err_write.get(), 2);
    if (display)
      setenv("DISPLAY", display, 1);
    else
      unsetenv("DISPLAY");
    execv(TREEVIEWER_PATH, argv.data());
    _exit(127);
  }
  out_write.reset();
  err_write.reset();

  const auto deadline = std::chrono::steady_clock::now() + 30s;
  bool out_open = true;
  bool err_open = true;
  while ((out_open || err_open) && std::chrono::steady_clock::now() < deadline) {
    pollfd fds[2] = {{out_open ? out_read.get() : -1, POLLIN, 0},
                     {err_open ? err_read.get() : -1, POLLIN, 0}};
    if (poll(fds, 2, 100) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0)
        (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
      else
        (i == 0 ? out_open : err_open) = false;
    }
  }
  int status = 0;
  if (out_open || err_open) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return result;
  }
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

enum class Answer { Usage, Version, NoDisplay };

struct CommandLineCase {
  const char* name;
  std::vector<std::string> arguments;
  const char* display;  // nullptr: DISPLAY unset
  Answer answer;
  // For NoDisplay: the display the toolkit was told to open, as the
  // program names it on standard error.
  std::string display_named = "";
};

void PrintTo(const CommandLineCase& test, std::ostream* out) { *out << test.name; }

class TreeviewerCommandLineTest : public testing::TestWithParam<CommandLineCase> {
 protected:
  test_support::ScratchFolder folder{TREE_TEST_SCRATCH};
};

const std::string VersionLine = std::string("treeviewer ") + TREEVIEWER_VERSION + "\n";

TEST_P(TreeviewerCommandLineTest, AnswersOrHandsTheArgumentsToTheToolkit) {
  const CommandLineCase& test = GetParam();
  // Files that would make a window if one were opened.
  folder.write("tree_window.ini", "10\n10\n300\n200\n0\n0\nCommand line\n");
  folder.write("tree_display_template.txt", "0,Alpha/\n1,beta\n");
  const Finished run = run_treeviewer(folder.path(), test.arguments, test.display);
  switch (test.answer) {
    case Answer::Usage:
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.out.rfind("Usage: treeviewer ", 0), 0u) << run.out;
      for (const char* part : {"--help", "--version", "tree_window.ini",
                               "tree_display_template.txt", "--display="})
        EXPECT_NE(run.out.find(part), std::string::npos) << part << " in " << run.out;
      EXPECT_EQ(run.out.back(), '\n');
      EXPECT_EQ(run.err, "");
      break;
    case Answer::Version:
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.out, VersionLine);
      EXPECT_EQ(run.err, "");
      break;
    case Answer::NoDisplay:
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, "treeviewer: cannot open display" + test.display_named + "\n");
      break;
  }
}

// A display that no server answers: a program that tried to open it would
// say so.
constexpr char Nowhere[] = ":65001";

INSTANTIATE_TEST_SUITE_P(
    Treeviewer, TreeviewerCommandLineTest,
    testing::Values(
        CommandLineCase{"help without a display", {"--help"}, nullptr, Answer::Usage},
        CommandLineCase{"help with an unreachable display", {"--help"}, Nowhere, Answer::Usage},
        CommandLineCase{"version without a display", {"--version"}, nullptr, Answer::Version},
        CommandLineCase{"version with an unreachable display", {"--version"}, Nowhere,
                        Answer::Version},
        CommandLineCase{"help after a toolkit option", {"--sync", "--help"}, nullptr,
                        Answer::Usage},
        CommandLineCase{"help after a joined display", {"--display=:65002", "--help"}, nullptr,
                        Answer::Usage},
        CommandLineCase{"the first of help and version", {"--version", "--help"}, nullptr,
                        Answer::Version},
        CommandLineCase{"the first of version and help", {"--help", "--version"}, nullptr,
                        Answer::Usage},
        CommandLineCase{"no arguments, no display", {}, nullptr, Answer::NoDisplay,
                        ": DISPLAY is not set"},
        CommandLineCase{"a display for the toolkit", {"--display=:65003"}, nullptr,
                        Answer::NoDisplay, " :65003"},
        CommandLineCase{"a display given apart", {"--display", ":65004"}, nullptr,
                        Answer::NoDisplay, " :65004"},
        CommandLineCase{"help as the value of --display", {"--display", "--help"}, nullptr,
                        Answer::NoDisplay, " --help"},
        CommandLineCase{"help after the end of options", {"--", "--help"}, Nowhere,
                        Answer::NoDisplay, std::string(" ") + Nowhere},
        CommandLineCase{"a near miss is no option", {"--helpx"}, Nowhere, Answer::NoDisplay,
                        std::string(" ") + Nowhere},
        CommandLineCase{"an unknown option before version", {"--frobnicate", "--version"},
                        nullptr, Answer::Version}));

}  // namespace
