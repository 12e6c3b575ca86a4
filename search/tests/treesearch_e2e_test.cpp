// Runs the built treesearch in a scratch folder, as a user would, and
// compares the exact bytes it leaves in searchOutputList.txt.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <thread>

#include "search/tests/file_lock_watch.h"
#include "tests/support/machine_support.h"
#include "tests/support/scratch_folder.h"

using test_support::ScratchFolder;

namespace {

// The four inputs of a run: tree name, terms, folder list, file list.
void write_inputs(const ScratchFolder& dir, const std::string& name, const std::string& terms,
                  const std::string& folders, const std::string& files) {
  dir.write("searchTreeName.txt", name);
  dir.write("searchTermsList.txt", terms);
  dir.write("foldersScratch.txt", folders);
  dir.write("filesScratch.txt", files);
}

// Inputs of `pairs` numbered pairs, every one of which matches.
void write_numbered_inputs(const ScratchFolder& dir, int pairs) {
  std::string folders, files;
  for (int i = 0; i < pairs; ++i) {
    folders += "/some/longer/folder/name/" + std::to_string(i) + "\n";
    files += "file" + std::to_string(i) + ".txt\n";
  }
  write_inputs(dir, "Tree\n", "file\n", folders, files);
}

struct Outcome {
  int status;
  std::string out, err;
};

Outcome run_in(const ScratchFolder& dir, const std::string& arguments = "") {
  const std::string command = "cd '" + dir.path().string() + "' && '" TREESEARCH_PATH "' " + arguments +
                              " </dev/null >.stdout 2>.stderr";
  const int raw = std::system(command.c_str());
  Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.read(".stdout"), dir.read(".stderr")};
  std::filesystem::remove(dir / ".stdout");
  std::filesystem::remove(dir / ".stderr");
  return outcome;
}

struct Case {
  const char* what;
  std::map<std::string, std::string> inputs;  // missing files are simply absent
  std::optional<std::string> existing_output;
  std::string expected_output;
};

const std::string FolderLines = "/home/ana/Documentos\n/home/ana/M\xC3\xBAsica\n/srv/data\n/srv/data\n";
const std::string FileLines = "relat\xC3\xB3rio.txt\nsamba.mp3\nnotes.md\nNOTES.md\n";

const Case Cases[] = {
    {"terms match folder or file, each pair once, in folder order",
     {{"searchTreeName.txt", "Arquivo\n"},
      {"searchTermsList.txt", "RELAT\xC3\x93RIO\nm\xC3\xBAsica\nnotes\nsamba\n"},
      {"foldersScratch.txt", FolderLines},
      {"filesScratch.txt", FileLines}},
     std::nullopt,
     "Arquivo\n/home/ana/Documentos\\relat\xC3\xB3rio.txt\n/home/ana/M\xC3\xBAsica\\samba.mp3\n"
     "/srv/data\\notes.md\n/srv/data\\NOTES.md\n"},
    {"no terms file: the heading alone",
     {{"searchTreeName.txt", "T\n"}, {"foldersScratch.txt", FolderLines}, {"filesScratch.txt", FileLines}},
     std::nullopt,
     "T\n"},
    {"an empty term matches nothing, the others still do",
     {{"searchTreeName.txt", "T"}, {"searchTermsList.txt", "\nsamba\n"},
      {"foldersScratch.txt", FolderLines}, {"filesScratch.txt", FileLines}},
     std::nullopt,
     "T\n/home/ana/M\xC3\xBAsica\\samba.mp3\n"},
    {"nothing at all: a lone line end", {}, std::nullopt, "\n"},
    {"fewer files than folders: the folder still matches, with an empty file",
     {{"searchTermsList.txt", "data"}, {"foldersScratch.txt", "/a\n/data\n"}, {"filesScratch.txt", "x\n"}},
     std::nullopt,
     "\n/data\\\n"},
    {"a file that repeats the file of a pair found by its folder is still searched",
     {{"searchTermsList.txt", "lib\n"}, {"foldersScratch.txt", "/lib\n/etc\n/etc\n/usr\n"},
      {"filesScratch.txt", "f\nf\nlib\nlib\n"}},
     std::nullopt,
     "\n/lib\\f\n/etc\\lib\n/usr\\lib\n"},
    {"more files than folders: the extra files are ignored",
     {{"searchTermsList.txt", "x"}, {"foldersScratch.txt", "/a"}, {"filesScratch.txt", "y\nx\n"}},
     std::nullopt,
     "\n"},
    {"CR LF, lone CR and NUL line ends become LF",
     {{"searchTreeName.txt", "Tree\r\nignored\r\n"},
      {"searchTermsList.txt", "a\r\n"},
      {"foldersScratch.txt", std::string("/a1\r/a2\0/b\r\n", 12)},
      {"filesScratch.txt", "f1\r\nf2\rf3"}},
     std::nullopt,
     "Tree\n/a1\\f1\n/a2\\f2\n"},
    {"an existing output without a final line end gets one before the block",
     {{"searchTreeName.txt", "T2\n"}, {"searchTermsList.txt", "x\n"}, {"foldersScratch.txt", "/x\n"},
      {"filesScratch.txt", "f\n"}},
     std::string("T1\n/old\\f"),
     "T1\n/old\\f\nT2\n/x\\f\n"},
    {"a byte-order mark at the start of any input is skipped",
     {{"searchTreeName.txt", "\xEF\xBB\xBFT\n"}, {"searchTermsList.txt", "\xEF\xBB\xBF" "a\nb\n"},
      {"foldersScratch.txt", "\xEF\xBB\xBF/b\n/a\n"}, {"filesScratch.txt", "\xEF\xBB\xBF" "1\n2\n"}},
     std::nullopt,
     "T\n/b\\1\n/a\\2\n"},
    {"only a byte-order mark at the very start is skipped",
     {{"searchTermsList.txt", "x\n\xEF\xBB\xBF" "b\n"}, {"foldersScratch.txt", "\xEF\xBB\xBF" "b\n/\xEF\xBB\xBF" "b\n"},
      {"filesScratch.txt", "1\n2\n"}},
     std::nullopt,
     "\n/\xEF\xBB\xBF" "b\\2\n"},
    {"only the thirteen accented capitals fold",
     {{"searchTermsList.txt", "\xC3\xA0\xC3\xA1\xC3\xA2\xC3\xA3\xC3\xA7\xC3\xA9\xC3\xAA\xC3\xAD\xC3\xB3\xC3\xB4\xC3\xB5\xC3\xBA\xC3\xBC\n"
                              "\xC3\xB1\n\xC3\xA8\n\xC3\xA4\n"},
      {"foldersScratch.txt", "\xC3\x80\xC3\x81\xC3\x82\xC3\x83\xC3\x87\xC3\x89\xC3\x8A\xC3\x8D\xC3\x93\xC3\x94\xC3\x95\xC3\x9A\xC3\x9C\n"
                             "\xC3\x91\n\xC3\x88\n\xC3\x84\n"},
      {"filesScratch.txt", "1\n2\n3\n4\n"}},
     std::nullopt,
     "\n\xC3\x80\xC3\x81\xC3\x82\xC3\x83\xC3\x87\xC3\x89\xC3\x8A\xC3\x8D\xC3\x93\xC3\x94\xC3\x95\xC3\x9A\xC3\x9C\\1\n"},
    {"ill-formed bytes are written as they are and the rest of the line is searched",
     {{"searchTermsList.txt", "lib\n"},
      {"foldersScratch.txt", "/sur\xED\xA0\x80/z\n/lat\xE9/lib\n/ok\n/a\xFF/lib\n/none\xC3\n"},
      {"filesScratch.txt", "libS\nb\nlib\xFFX\nf\nl\xFFib\n"}},
     std::nullopt,
     "\n/sur\xED\xA0\x80/z\\libS\n/lat\xE9/lib\\b\n/ok\\lib\xFFX\n/a\xFF/lib\\f\n"},
    {"ill-formed terms and tree names: replacement characters match, bytes are kept",
     {{"searchTreeName.txt", "T\xED\xA0\x80x\n"}, {"searchTermsList.txt", "a\xFF\n"},
      {"foldersScratch.txt", "/a\xC0\n/a\xEF\xBF\xBD\n/a\n/A\xF5\n"}, {"filesScratch.txt", "1\n2\n3\n4\n"}},
     std::nullopt,
     "T\xED\xA0\x80x\n/a\xC0\\1\n/a\xEF\xBF\xBD\\2\n/A\xF5\\4\n"},
};

TEST(Treesearch, OutputBlocks) {
  for (const Case& c : Cases) {
    ScratchFolder dir;
    for (const auto& [name, bytes] : c.inputs) dir.write(name, bytes);
    if (c.existing_output) dir.write("searchOutputList.txt", *c.existing_output);
    const Outcome outcome = run_in(dir, "ignored --arguments");
    EXPECT_EQ(outcome.status, 0) << c.what;
    EXPECT_EQ(outcome.out + outcome.err, "") << c.what;
    EXPECT_EQ(dir.read("searchOutputList.txt"), c.expected_output) << c.what;
  }
}

TEST(Treesearch, EachRunAppendsItsBlock) {
  ScratchFolder dir;
  write_inputs(dir, "T\n", "a\n", "/a\n/a\n/b\n", "1\n1\n2\n");
  ASSERT_EQ(run_in(dir).status, 0);
  ASSERT_EQ(run_in(dir).status, 0);
  EXPECT_EQ(dir.read("searchOutputList.txt"), "T\n/a\\1\n/a\\1\nT\n/a\\1\n/a\\1\n");
}

TEST(Treesearch, ManyPairsMatchInOrder) {
  // Enough pairs for the matching to be split between threads; seven files
  // per folder, so folder verdicts carry over between neighbouring pairs.
  ScratchFolder dir;
  std::string folders, files, expected = "big\n";
  for (int i = 0; i < 20000; ++i) {
    // Appended rather than added up: GCC 12 warns falsely of overlapping
    // copies in `"/d" + std::to_string(n)`.
    std::string folder = "/d", file = "f";
    folder += std::to_string(i / 7);
    file += std::to_string(i);
    folders += folder + "\n";
    files += file + "\n";
    auto has = [](const std::string& s, const char* term) { return s.find(term) != std::string::npos; };
    if (has(folder, "99") || has(folder, "123") || has(file, "99") || has(file, "123"))
      expected += folder + "\\" + file + "\n";
  }
  write_inputs(dir, "big", "99\n123\n", folders, files);
  ASSERT_EQ(run_in(dir).status, 0);
  EXPECT_EQ(dir.read("searchOutputList.txt"), expected);
}

TEST(TreesearchLostOutput, ReportedWithStatusOne) {
  struct Setup {
    const char* what;
    void (*make)(const ScratchFolder&);
  } setups[] = {
      {"a directory in place of the output",
       [](const ScratchFolder& d) { std::filesystem::create_directory(d / "searchOutputList.txt"); }},
      {"the output is a link to a full disk",
       [](const ScratchFolder& d) { std::filesystem::create_symlink("/dev/full", d / "searchOutputList.txt"); }},
  };
  for (const auto& s : setups) {
    ScratchFolder dir;
    dir.write("searchTreeName.txt", "T\n");
    s.make(dir);
    const Outcome outcome = run_in(dir);
    EXPECT_EQ(outcome.status, 1) << s.what;
    EXPECT_EQ(outcome.out, "") << s.what;
    EXPECT_NE(outcome.err.find("searchOutputList.txt"), std::string::npos) << s.what << ": " << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
  }
}

TEST(TreesearchConcurrentRuns, EveryBlockLandsWholeAndOnce) {
  ScratchFolder dir;
  write_numbered_inputs(dir, 3000);
  ASSERT_EQ(run_in(dir).status, 0);
  const std::string block = dir.read("searchOutputList.txt");
  ASSERT_GT(block.size(), 3 * 4096u);  // several buffers per block
  std::filesystem::remove(dir / "searchOutputList.txt");

  std::vector<std::thread> runs;
  for (int i = 0; i < 8; ++i) runs.emplace_back([&] { EXPECT_EQ(run_in(dir).status, 0); });
  for (auto& run : runs) run.join();
  std::string all;
  for (int i = 0; i < 8; ++i) all += block;
  EXPECT_EQ(dir.read("searchOutputList.txt"), all);
}

TEST(TreesearchLargeOutput, AppendsAtTheTrueEndBeyondTwoGibibytes) {
  ScratchFolder dir;
  write_inputs(dir, "T\n", "b\n", "/a\n/b\n", "1\n2\n");
  // A sparse output just over 2^31 bytes: positions no longer fit 32 bits.
  const off_t size = (off_t{1} << 31) + 5;
  const std::string output = (dir / "searchOutputList.txt").string();
  const int fd = ::open(output.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, size - 1), 0);
  ASSERT_EQ(pwrite(fd, "\n", 1, size - 1), 1);
  ::close(fd);
  ASSERT_EQ(run_in(dir).status, 0);
  const std::string block = "T\n/b\\2\n";
  ASSERT_EQ(std::filesystem::file_size(output), static_cast<uintmax_t>(size) + block.size());
  std::string tail(block.size(), '\0');
  const int in = ::open(output.c_str(), O_RDONLY);
  ASSERT_EQ(pread(in, tail.data(), tail.size(), size), static_cast<ssize_t>(tail.size()));
  ::close(in);
  EXPECT_EQ(tail, block);
}

}  // namespace

namespace {

// Inputs whose block is several megabytes: many writes to the output.
void write_large_inputs(const ScratchFolder& dir) { write_numbered_inputs(dir, 100000); }

// Starts `command` (treesearch by default) in the folder with `prepare`
// applied to the child just before it starts, its standard error in a file.
pid_t start_child(const ScratchFolder& dir, const std::function<void()>& prepare,
                  const std::vector<std::string>& command = {TREESEARCH_PATH}) {
  const std::string err = (dir / ".stderr").string();
  std::vector<char*> arguments;
  for (const std::string& argument : command) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(120);
    const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    prepare();
    execvp(arguments[0], arguments.data());
    _exit(121);
  }
  return child;
}

// Waits for the child; returns its raw wait status and standard error.
std::pair<int, std::string> finish_child(const ScratchFolder& dir, pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  std::string message = dir.read(".stderr");
  std::filesystem::remove(dir / ".stderr");
  return {status, message};
}

std::pair<int, std::string> run_child(const ScratchFolder& dir, const std::function<void()>& prepare,
                                      const std::vector<std::string>& command = {TREESEARCH_PATH}) {
  return finish_child(dir, start_child(dir, prepare, command));
}

bool one_line_naming_the_output(const std::string& err) {
  return err.find("searchOutputList.txt") != std::string::npos && std::count(err.begin(), err.end(), '\n') == 1 &&
         err.back() == '\n';
}

// The run ended with status 1 and said why in one line naming the output.
void expect_failure_reported(int status, const std::string& err) {
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_TRUE(one_line_naming_the_output(err)) << err;
}

// Sets a limit of the child on `resource` (hard and soft) to `value`.
void limit(int resource, rlim_t value) {
  const rlimit both{value, value};
  setrlimit(resource, &both);
}

const std::string OutputBefore = "Old\n/x\\no line end";

TEST(TreesearchRollback, AFileSizeLimitLeavesTheOutputAsItWas) {
  ScratchFolder dir;
  write_large_inputs(dir);
  dir.write("searchOutputList.txt", OutputBefore);
  const auto [status, err] = run_child(dir, [] { limit(RLIMIT_FSIZE, 64 * 1024); });
  expect_failure_reported(status, err);
  EXPECT_NE(err.find("File too large"), std::string::npos) << err;
  EXPECT_EQ(dir.read("searchOutputList.txt"), OutputBefore);
}

// Every signal that ends a process by default and can be caught.
std::vector<int> terminating_signals() {
  std::vector<int> all = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,    SIGTRAP, SIGABRT, SIGBUS,  SIGFPE,
                          SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,   SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU,
                          SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,  SIGPWR,  SIGSYS};
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) all.push_back(signal);
  return all;
}

// Makes the child start with `signal` already sent but held back (blocked),
// so that it is there at the first look after a write; with `ignored` the
// child's disposition for it is to ignore it. No core is dumped.
std::function<void()> held_back(int signal, bool ignored) {
  return [signal, ignored] {
    // The address and thread sanitizers would catch the fault signals
    // themselves, whatever the disposition the program was started with.
    constexpr char LeaveFaultSignals[] = "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
    setenv("ASAN_OPTIONS", LeaveFaultSignals, 1);
    setenv("TSAN_OPTIONS", LeaveFaultSignals, 1);
    limit(RLIMIT_CORE, 0);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    ::signal(signal, ignored ? SIG_IGN : SIG_DFL);
    kill(getpid(), signal);
  };
}

TEST(TreesearchRollback, EveryTerminatingSignalDuringTheWriteRollsBackThenEndsTheRun) {
  for (int signal : terminating_signals()) {
    ScratchFolder dir;
    write_numbered_inputs(dir, 2000);
    dir.write("searchOutputList.txt", OutputBefore);
    const auto [status, err] = run_child(dir, held_back(signal, false));
    ASSERT_TRUE(WIFSIGNALED(status)) << signal << " " << status;
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_TRUE(one_line_naming_the_output(err)) << err;
    EXPECT_NE(err.find("stopped by SIG"), std::string::npos) << err;
    EXPECT_EQ(dir.read("searchOutputList.txt"), OutputBefore) << signal;
  }
}

TEST(TreesearchRollback, AnIgnoredSignalStaysIgnored) {
  // As under nohup: the run appends its whole block and succeeds.
  ScratchFolder dir;
  write_numbered_inputs(dir, 2000);
  ASSERT_EQ(run_in(dir).status, 0);
  const std::string block = dir.read("searchOutputList.txt");
  for (int signal : terminating_signals()) {
    dir.write("searchOutputList.txt", OutputBefore);
    const auto [status, err] = run_child(dir, held_back(signal, true));
    ASSERT_TRUE(WIFEXITED(status)) << signal << " " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << signal;
    EXPECT_EQ(err, "") << signal;
    EXPECT_EQ(dir.read("searchOutputList.txt"), OutputBefore + "\n" + block) << signal;
  }
}

TEST(TreesearchRollback, SigtermWhileWritingABigBlock) {
  // A real signal from outside, sent once the run has begun to append.
  ScratchFolder dir;
  std::string folders(size_t{128} << 20, 'f');
  dir.write("foldersScratch.txt", folders);
  folders.clear();
  folders.shrink_to_fit();
  dir.write("searchTermsList.txt", "f\n");
  dir.write("searchOutputList.txt", OutputBefore);
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(120);
    const int fd = ::open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    execl(TREESEARCH_PATH, TREESEARCH_PATH, static_cast<char*>(nullptr));
    _exit(121);
  }
  // Waits until the output has grown: the run is writing its block.
  const auto output = dir / "searchOutputList.txt";
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
       std::filesystem::file_size(output) <= OutputBefore.size() && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::yield();
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status) || WIFEXITED(status)) << status;
  // Either the signal came during the append and the block is gone, or the
  // append was already done and the run ended normally with the whole block.
  const std::string after = dir.read("searchOutputList.txt");
  if (WIFSIGNALED(status)) {
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(after, OutputBefore);
    EXPECT_TRUE(one_line_naming_the_output(dir.read(".stderr"))) << dir.read(".stderr");
  } else {
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(after.size(), OutputBefore.size() + 2 + (size_t{128} << 20) + 2);
  }
}

TEST(TreesearchOutput, AHugeBlockWaitsInATemporaryFileBesideTheOutput) {
  // A line of 3 MB is more than the run holds in memory: its block goes to
  // an unnamed temporary file in the output's folder first.
  ScratchFolder dir;
  const std::string line(size_t{3} << 20, 'x');
  write_inputs(dir, "T\n", "x\n", "/a\n" + line + "\n", "1\n2\n");
  dir.write("searchOutputList.txt", OutputBefore);
  const Outcome outcome = run_in(dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(dir.read("searchOutputList.txt"), OutputBefore + "\nT\n" + line + "\\2\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 5);

  // When the temporary file cannot take the block, nothing is appended.
  dir.write("searchOutputList.txt", OutputBefore);
  const auto [status, err] = run_child(dir, [] { limit(RLIMIT_FSIZE, rlim_t{1} << 20); });
  expect_failure_reported(status, err);
  EXPECT_NE(err.find("temporary file: File too large"), std::string::npos) << err;
  EXPECT_EQ(dir.read("searchOutputList.txt"), OutputBefore);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 5);
}

TEST(TreesearchOutOfMemory, OneLineAndTheOutputUntouched) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "an address-space limit does not work with the address or thread sanitizer";
#else
  ScratchFolder dir;
  // A 256 MB line cannot be held within a 192 MB address space.
  dir.write("foldersScratch.txt", std::string(size_t{256} << 20, 'x'));
  dir.write("searchTermsList.txt", "x\n");
  dir.write("searchOutputList.txt", OutputBefore);
  const auto [status, err] = run_child(dir, [] { limit(RLIMIT_AS, rlim_t{192} << 20); });
  expect_failure_reported(status, err);
  EXPECT_NE(err.find("out of memory"), std::string::npos) << err;
  EXPECT_EQ(dir.read("searchOutputList.txt"), OutputBefore);
#endif
}

TEST(TreesearchOutput, AFifoIsReportedAndNothingBlocks) {
  ScratchFolder dir;
  dir.write("searchTreeName.txt", "T\n");
  ASSERT_EQ(mkfifo((dir / "searchOutputList.txt").c_str(), 0644), 0);
  const Outcome outcome = run_in(dir);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(one_line_naming_the_output(outcome.err)) << outcome.err;
  EXPECT_NE(outcome.err.find("not a regular file"), std::string::npos) << outcome.err;
}

TEST(TreesearchOutput, AnAppendOnlyFileIsAppendedTo) {
  ScratchFolder dir;
  write_inputs(dir, "T\n", "a\n", "/a\n/b\n", "1\n2\n");
  // Its last line has no line end: the file is read too, for its last byte.
  dir.write("searchOutputList.txt", "Old");
  const std::string output = (dir / "searchOutputList.txt").string();
  if (const auto missing = test_support::missing_append_only(output)) GTEST_SKIP() << *missing;
  const Outcome outcome = run_in(dir);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(dir.read("searchOutputList.txt"), "Old\nT\n/a\\1\n");

  // Such a file cannot be cut back: a failed append says how much of its
  // block is left.
  write_large_inputs(dir);
  const auto [status, err] = run_child(dir, [] { limit(RLIMIT_FSIZE, 64 * 1024); });
  std::system(("chattr -a '" + output + "'").c_str());
  expect_failure_reported(status, err);
  const size_t left = 64 * 1024 - std::string("Old\nT\n/a\\1\n").size();
  EXPECT_NE(err.find(std::to_string(left) + " bytes of it remain"), std::string::npos) << err;
}

TEST(TreesearchOutput, AWriteOnlyFileIsAppendedTo) {
  // Needs a user the permission bits hold for: run as root, the test runs
  // treesearch as "nobody".
  if (const auto missing = test_support::missing_second_user()) GTEST_SKIP() << *missing;
  ScratchFolder dir;
  write_inputs(dir, "T\n", "a\n", "/a\n/b\n", "1\n2\n");
  dir.write("searchOutputList.txt", "Old\n");
  const uid_t nobody = 65534;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    std::filesystem::permissions(entry.path(), std::filesystem::perms::all);
  const std::string output = (dir / "searchOutputList.txt").string();
  ASSERT_EQ(chown(output.c_str(), nobody, nobody), 0);
  ASSERT_EQ(chmod(output.c_str(), 0200), 0);
  // The build may sit where that user cannot reach (a clone under /root):
  // it runs a copy of the program from the scratch folder.
  const std::filesystem::path program = dir / "treesearch";
  std::filesystem::copy_file(TREESEARCH_PATH, program);
  std::filesystem::permissions(program, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                            std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                            std::filesystem::perms::others_exec);
  const auto [status, err] = run_child(
      dir, [] { if (setgid(65534) != 0 || setuid(65534) != 0) _exit(122); }, {program.string()});
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << err;
  EXPECT_EQ(dir.read("searchOutputList.txt"), "Old\nT\n/a\\1\n");
}

TEST(TreesearchOutput, ARunThatCreatesTheOutputNeverEmptiesIt) {
  // Run A's open of the output is held up by a tracer after it has been
  // made; run B appends its whole block meanwhile; then A goes on.
  if (const auto missing = test_support::missing_tracing()) GTEST_SKIP() << *missing;
  ScratchFolder dir;
  write_inputs(dir, "T\n", "a\n", "/a\n", "1\n");
  const std::string delayed = "cd '" + dir.path().string() +
                              // The leak checker cannot work under a tracer.
                              "' && ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null -P searchOutputList.txt -e trace=openat,open "
                              "-e inject=openat:delay_exit=2000000:when=1 '" TREESEARCH_PATH "' 2>.stderr-a";
  auto a = std::async(std::launch::async, [&] { return std::system(delayed.c_str()); });
  const auto output = dir / "searchOutputList.txt";
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
       !std::filesystem::exists(output) && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::yield();
  ASSERT_TRUE(std::filesystem::exists(output));
  EXPECT_EQ(run_in(dir).status, 0);
  EXPECT_EQ(a.get(), 0) << dir.read(".stderr-a");
  EXPECT_EQ(dir.read("searchOutputList.txt"), "T\n/a\\1\nT\n/a\\1\n");
}

// treesearch under strace, which injects `fault` into the reads, writes and
// closes of the folder's output and logs them to `log`.
std::vector<std::string> traced(const ScratchFolder& dir, const std::string& fault,
                                const std::string& log = "/dev/null") {
  return {"strace", "-f", "-o", log, "-P", std::filesystem::canonical(dir.path()) / "searchOutputList.txt",
          "-e", "trace=pread64,write,close", "-e", "inject=" + fault, TREESEARCH_PATH};
}

// Whether, within a minute, the tracer's log shows a call it holds up.
bool held_up(const ScratchFolder& dir, const std::string& log) {
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
       std::chrono::steady_clock::now() < deadline;) {
    if (dir.read(log).find("(DELAYED)") != std::string::npos) return true;
    std::this_thread::yield();
  }
  return false;
}

// The leak checker cannot work under a tracer.
void untraced_leaks() { setenv("ASAN_OPTIONS", "detect_leaks=0", 1); }

TEST(TreesearchStatus, TellsWhatTheOutputHolds) {
  if (const auto missing = test_support::missing_tracing()) GTEST_SKIP() << *missing;
  ScratchFolder dir;
  write_numbered_inputs(dir, 100);
  ASSERT_EQ(run_in(dir).status, 0);
  const std::string whole = OutputBefore + "\n" + dir.read("searchOutputList.txt");
  // The first write ends the last line of the output, the second writes the
  // block; the first close of the output lets the block's descriptor go
  // while a second one keeps the lock, the second close lets the lock go.
  struct Case {
    const char* what;
    const char* fault;
    int signal;       // that ends the run, or 0
    int exit_status;  // when it exits
    bool appended;
  } cases[] = {
      {"a signal as the first write ends", "write:signal=TERM:when=1", SIGTERM, 0, false},
      {"a signal as the block's descriptor closes, the lock still held", "close:signal=TERM:when=1", SIGTERM, 0,
       false},
      {"a signal once the lock is let go", "close:signal=TERM:when=2", 0, 0, true},
      {"a failed close while the lock is held", "close:error=EIO:when=1", 0, 1, false},
      {"a failed last close", "close:error=EIO:when=2", 0, 0, true},
      {"a full disk at the second write", "write:error=ENOSPC:when=2", 0, 1, false},
  };
  for (const Case& c : cases) {
    dir.write("searchOutputList.txt", OutputBefore);
    const auto [status, err] = run_child(dir, untraced_leaks, traced(dir, c.fault));
    if (c.signal) {
      ASSERT_TRUE(WIFSIGNALED(status)) << c.what << ": " << status << " " << err;
      EXPECT_EQ(WTERMSIG(status), c.signal) << c.what;
    } else {
      ASSERT_TRUE(WIFEXITED(status)) << c.what << ": " << status << " " << err;
      EXPECT_EQ(WEXITSTATUS(status), c.exit_status) << c.what << ": " << err;
    }
    if (c.appended) EXPECT_EQ(err, "") << c.what;
    else EXPECT_TRUE(one_line_naming_the_output(err)) << c.what << ": " << err;
    EXPECT_EQ(dir.read("searchOutputList.txt"), c.appended ? whole : OutputBefore) << c.what;
  }
}

TEST(TreesearchOutput, AnOutputReplacedWhileTheRunWaitsForItsLockIsLeftAlone) {
  // As when a list is rotated: the block goes to the file the name stands
  // for once the run holds the lock.
  struct Case {
    const char* what;
    bool keep_old;
  } cases[] = {{"renamed", true}, {"removed", false}};
  for (const Case& c : cases) {
    ScratchFolder dir;
    write_inputs(dir, "T\n", "a\n", "/a\n", "1\n");
    dir.write("searchOutputList.txt", "Old\n");
    const std::string output = (dir / "searchOutputList.txt").string();
    // Not inherited by the run: its lock would be the run's own.
    const int holder = ::open(output.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    const pid_t child = start_child(dir, [] {});
    const bool waited = lock_request_waits(inode_of(output));
    if (c.keep_old) std::filesystem::rename(output, dir / "searchOutputList.1.txt");
    else std::filesystem::remove(output);
    ::close(holder);
    const auto [status, err] = finish_child(dir, child);
    ASSERT_TRUE(waited) << c.what;
    ASSERT_TRUE(WIFEXITED(status)) << c.what << ": " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.what << ": " << err;
    EXPECT_EQ(dir.read("searchOutputList.txt"), "T\n/a\\1\n") << c.what;
    if (c.keep_old) {
      EXPECT_EQ(dir.read("searchOutputList.1.txt"), "Old\n") << c.what;
    }
  }
}

TEST(TreesearchOutput, AHugeBlockWaitsInTheFolderOfTheFileTheOutputLinksTo) {
  if (const auto missing = test_support::missing_tracing()) GTEST_SKIP() << *missing;
  ScratchFolder dir, elsewhere;
  write_inputs(dir, "T\n", "x\n", std::string(size_t{3} << 20, 'x'), "1\n");
  elsewhere.write("list.txt", "Old\n");
  std::filesystem::create_symlink(elsewhere / "list.txt", dir / "searchOutputList.txt");
  const std::string log = (dir / ".trace").string();
  const auto [status, err] = run_child(
      dir, untraced_leaks, {"strace", "-f", "-o", log, "-e", "trace=openat", "-e", "signal=none", TREESEARCH_PATH});
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << err;
  EXPECT_EQ(elsewhere.read("list.txt").size(), 4 + 2 + (size_t{3} << 20) + 3);
  const std::string trace = dir.read(".trace");
  std::string opened = "\"";  // appended piece by piece: GCC 12 warns falsely of an overlap in "…" + string
  opened += std::filesystem::canonical(elsewhere.path()).string();
  opened += "\", O_RDWR|O_CLOEXEC|O_TMPFILE";
  EXPECT_NE(trace.find(opened), std::string::npos) << trace;
}

TEST(TreesearchRollback, WhatAnotherProgramAppendsMeanwhileIsKept) {
  // Another program appends to the output without the lock while the run
  // writes its block; then a file-size limit stops the run. Only the run's
  // own bytes may be cut back, and what cannot be cut back is said.
  if (const auto missing = test_support::missing_tracing()) GTEST_SKIP() << *missing;
  constexpr size_t Limit = 64 * 1024;
  const std::string other = "Other\n";
  struct Case {
    const char* what;
    const char* fault;       // holds the run up for seconds while the other program appends
    bool after_first_write;  // the run's first bytes are in by then
    const char* said;
  } cases[] = {
      {"before the run's first write", "pread64:delay_exit=3000000:when=1", false, "what another program wrote"},
      {"after it", "write:delay_exit=3000000:when=1", true, " bytes of the unfinished block remain"},
  };
  for (const Case& c : cases) {
    ScratchFolder dir;
    write_large_inputs(dir);
    dir.write("searchOutputList.txt", "Old\n");
    const std::string output = (dir / "searchOutputList.txt").string();
    ASSERT_EQ(run_in(dir).status, 0);
    const std::string block = dir.read("searchOutputList.txt").substr(4);
    dir.write("searchOutputList.txt", "Old\n");
    const pid_t child = start_child(
        dir,
        [] {
          untraced_leaks();
          limit(RLIMIT_FSIZE, Limit);
        },
        traced(dir, c.fault, (dir / ".trace").string()));
    // The run has measured the output and read its last byte, or written its
    // first bytes, and is held up.
    bool ready = held_up(dir, ".trace");
    const int appender = ::open(output.c_str(), O_WRONLY | O_APPEND);
    ready = ready && appender >= 0 && ::write(appender, other.data(), other.size()) == ssize_t(other.size());
    ::close(appender);
    const auto [status, err] = finish_child(dir, child);
    ASSERT_TRUE(ready) << c.what;
    expect_failure_reported(status, err);
    EXPECT_NE(err.find(c.said), std::string::npos) << c.what << ": " << err;
    const std::string left = c.after_first_write ? block.substr(0, Limit - 4) : "";
    EXPECT_EQ(dir.read("searchOutputList.txt"), "Old\n" + left + other) << c.what;
    if (c.after_first_write) {
      EXPECT_NE(err.find(std::to_string(left.size()) + " bytes"), std::string::npos) << err;
    }
  }
}

TEST(TreesearchArguments, HelpAndVersionAnswerAndTouchNoFile) {
  struct Case {
    const char* arguments;
    std::string starts;
  } cases[] = {
      {"--help", "Usage: treesearch"},
      {"--version", std::string("treesearch ") + TREESEARCH_VERSION + "\n"},
      {"ignored --version --help", std::string("treesearch ") + TREESEARCH_VERSION + "\n"},
  };
  for (const Case& c : cases) {
    ScratchFolder dir;
    write_inputs(dir, "T\n", "a\n", "/a\n", "1\n");
    const Outcome outcome = run_in(dir, c.arguments);
    EXPECT_EQ(outcome.status, 0) << c.arguments;
    EXPECT_TRUE(outcome.out.starts_with(c.starts)) << c.arguments << ": " << outcome.out;
    EXPECT_EQ(outcome.err, "") << c.arguments;
    EXPECT_FALSE(std::filesystem::exists(dir / "searchOutputList.txt")) << c.arguments;
  }
}

// The tree name and the terms from FIFOs and from a pipe behind
// /dev/stdin: a byte-order mark at the start is skipped there as well.
TEST(TreesearchInputs, AByteOrderMarkIsSkippedInPipesAndFifos) {
  const std::string mark = "\xEF\xBB\xBF";
  {
    ScratchFolder dir;
    write_inputs(dir, "", "", "/Alpha\n/b\n", "1\n2\n");
    for (const char* name : {"searchTreeName.txt", "searchTermsList.txt"}) {
      std::filesystem::remove(dir / name);
      ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
    }
    // Each writer's open waits for the program's, which comes in turn.
    std::thread name_writer([&] { std::ofstream(dir / "searchTreeName.txt", std::ios::binary) << mark << "Tree\n"; });
    std::thread terms_writer([&] { std::ofstream(dir / "searchTermsList.txt", std::ios::binary) << mark << "alpha\n"; });
    const Outcome outcome = run_in(dir);
    name_writer.join();
    terms_writer.join();
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(dir.read("searchOutputList.txt"), "Tree\n/Alpha\\1\n");
  }
  {
    ScratchFolder dir;
    write_inputs(dir, "T\n", "", "/Alpha\n/b\n", "1\n2\n");
    std::filesystem::remove(dir / "searchTermsList.txt");
    std::filesystem::create_symlink("/dev/stdin", dir / "searchTermsList.txt");
    const std::string command = "cd '" + dir.path().string() + "' && printf '\\357\\273\\277alpha\\n' | '" +
                                TREESEARCH_PATH + "' 2>.stderr";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << dir.read(".stderr");
    EXPECT_EQ(dir.read("searchOutputList.txt"), "T\n/Alpha\\1\n");
  }
}

// With no descriptor left for an input, the run fails and says which input
// and why; it never takes the input as empty.
TEST(TreesearchInputs, ADescriptorLimitIsAFailureNotAnEmptyList) {
  ScratchFolder dir;
  write_inputs(dir, "T\n", "a\n", "/a\n/b\n", "1\n2\n");
  dir.write("searchOutputList.txt", OutputBefore);
  // One descriptor free above those the child holds: the program starts
  // (the loader opens one library at a time) and opens the folder list with
  // it, and the file list finds none free.
  const auto [status, err] = run_child(dir, [] {
    const int lowest_free = ::open("/dev/null", O_RDONLY);
    ::close(lowest_free);
    limit(RLIMIT_NOFILE, static_cast<rlim_t>(lowest_free) + 1);
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("filesScratch.txt"), std::string::npos) << err;
  EXPECT_NE(err.find(std::strerror(EMFILE)), std::string::npos) << err;
  EXPECT_EQ(dir.read("searchOutputList.txt"), OutputBefore);
}

// No thread can be made (here: every new thread's stack would be larger
// than the address space): the pairs are read without one, and the run
// ends as it would with one.
TEST(TreesearchInputs, NoThreadForTheReaderStillSearches) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the thread sanitizer itself needs a thread of its own";
#else
  ScratchFolder dir;
  write_numbered_inputs(dir, 50000);
  ASSERT_EQ(run_in(dir).status, 0);
  const std::string expected = dir.read("searchOutputList.txt");
  std::filesystem::remove(dir / "searchOutputList.txt");
  const auto [status, err] = run_child(dir, [] { limit(RLIMIT_STACK, rlim_t{1} << 46); });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(dir.read("searchOutputList.txt"), expected);
#endif
}

// A run that fails where there was no output leaves none behind, as its
// message says.
TEST(TreesearchOutput, AFailedFirstRunLeavesNoFile) {
  ScratchFolder dir;
  write_large_inputs(dir);
  const auto [status, err] = run_child(dir, [] { limit(RLIMIT_FSIZE, 64 * 1024); });
  expect_failure_reported(status, err);
  EXPECT_NE(err.find("left as it was"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(dir / "searchOutputList.txt"));
}

}  // namespace
