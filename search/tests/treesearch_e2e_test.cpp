// Runs the built treesearch in a scratch folder, as a user would, and
// compares the exact bytes it leaves in searchOutputList.txt.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <thread>

#include "scratch_dir.h"

namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome run_in(const ScratchDir& dir, const std::string& arguments = "") {
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

const std::string kFolders = "/home/ana/Documentos\n/home/ana/M\xC3\xBAsica\n/srv/data\n/srv/data\n";
const std::string kFiles = "relat\xC3\xB3rio.txt\nsamba.mp3\nnotes.md\nNOTES.md\n";

const Case kCases[] = {
    {"terms match folder or file, each pair once, in folder order",
     {{"searchTreeName.txt", "Arquivo\n"},
      {"searchTermsList.txt", "RELAT\xC3\x93RIO\nm\xC3\xBAsica\nnotes\nsamba\n"},
      {"foldersScratch.txt", kFolders},
      {"filesScratch.txt", kFiles}},
     std::nullopt,
     "Arquivo\n/home/ana/Documentos\\relat\xC3\xB3rio.txt\n/home/ana/M\xC3\xBAsica\\samba.mp3\n"
     "/srv/data\\notes.md\n/srv/data\\NOTES.md\n"},
    {"no terms file: the heading alone",
     {{"searchTreeName.txt", "T\n"}, {"foldersScratch.txt", kFolders}, {"filesScratch.txt", kFiles}},
     std::nullopt,
     "T\n"},
    {"an empty term matches nothing, the others still do",
     {{"searchTreeName.txt", "T"}, {"searchTermsList.txt", "\nsamba\n"},
      {"foldersScratch.txt", kFolders}, {"filesScratch.txt", kFiles}},
     std::nullopt,
     "T\n/home/ana/M\xC3\xBAsica\\samba.mp3\n"},
    {"nothing at all: a lone line end", {}, std::nullopt, "\n"},
    {"fewer files than folders: the folder still matches, with an empty file",
     {{"searchTermsList.txt", "data"}, {"foldersScratch.txt", "/a\n/data\n"}, {"filesScratch.txt", "x\n"}},
     std::nullopt,
     "\n/data\\\n"},
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
     {{"searchTermsList.txt", "x\n\xEF\xBB\xBF" "b\n"}, {"foldersScratch.txt", "/b\n/\xEF\xBB\xBF" "b\n"},
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
  for (const Case& c : kCases) {
    ScratchDir dir;
    for (const auto& [name, bytes] : c.inputs) dir.write(name, bytes);
    if (c.existing_output) dir.write("searchOutputList.txt", *c.existing_output);
    const Outcome outcome = run_in(dir, "ignored --arguments");
    EXPECT_EQ(outcome.status, 0) << c.what;
    EXPECT_EQ(outcome.out + outcome.err, "") << c.what;
    EXPECT_EQ(dir.read("searchOutputList.txt"), c.expected_output) << c.what;
  }
}

TEST(Treesearch, EachRunAppendsItsBlock) {
  ScratchDir dir;
  dir.write("searchTreeName.txt", "T\n");
  dir.write("searchTermsList.txt", "a\n");
  dir.write("foldersScratch.txt", "/a\n/a\n/b\n");
  dir.write("filesScratch.txt", "1\n1\n2\n");
  ASSERT_EQ(run_in(dir).status, 0);
  ASSERT_EQ(run_in(dir).status, 0);
  EXPECT_EQ(dir.read("searchOutputList.txt"), "T\n/a\\1\n/a\\1\nT\n/a\\1\n/a\\1\n");
}

TEST(Treesearch, ManyPairsMatchInOrder) {
  // Enough pairs for the matching to be split between threads; seven files
  // per folder, so folder verdicts carry over between neighbouring pairs.
  ScratchDir dir;
  std::string folders, files, expected = "big\n";
  for (int i = 0; i < 20000; ++i) {
    const std::string folder = "/d" + std::to_string(i / 7), file = "f" + std::to_string(i);
    folders += folder + "\n";
    files += file + "\n";
    auto has = [](const std::string& s, const char* term) { return s.find(term) != std::string::npos; };
    if (has(folder, "99") || has(folder, "123") || has(file, "99") || has(file, "123"))
      expected += folder + "\\" + file + "\n";
  }
  dir.write("searchTreeName.txt", "big");
  dir.write("searchTermsList.txt", "99\n123\n");
  dir.write("foldersScratch.txt", folders);
  dir.write("filesScratch.txt", files);
  ASSERT_EQ(run_in(dir).status, 0);
  EXPECT_EQ(dir.read("searchOutputList.txt"), expected);
}

TEST(TreesearchLostOutput, ReportedWithStatusOne) {
  struct Setup {
    const char* what;
    void (*make)(const ScratchDir&);
  } setups[] = {
      {"a directory in place of the output",
       [](const ScratchDir& d) { std::filesystem::create_directory(d / "searchOutputList.txt"); }},
      {"the output is a link to a full disk",
       [](const ScratchDir& d) { std::filesystem::create_symlink("/dev/full", d / "searchOutputList.txt"); }},
  };
  for (const auto& s : setups) {
    ScratchDir dir;
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
  ScratchDir dir;
  std::string folders, files;
  for (int i = 0; i < 3000; ++i) {
    folders += "/some/longer/folder/name/" + std::to_string(i) + "\n";
    files += "file" + std::to_string(i) + ".txt\n";
  }
  dir.write("searchTreeName.txt", "Tree\n");
  dir.write("searchTermsList.txt", "file\n");
  dir.write("foldersScratch.txt", folders);
  dir.write("filesScratch.txt", files);
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
  ScratchDir dir;
  dir.write("searchTreeName.txt", "T\n");
  dir.write("searchTermsList.txt", "b\n");
  dir.write("foldersScratch.txt", "/a\n/b\n");
  dir.write("filesScratch.txt", "1\n2\n");
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
