#include "block_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <future>
#include <thread>

#include "scratch_dir.h"

using namespace search;

namespace {

OutputBlock block_of(const std::string& bytes) {
  OutputBlock block;
  block.append(bytes);
  return block;
}

std::string big_block() {
  std::string bytes;
  for (int i = 0; bytes.size() < 5 * OutputBlock::PieceSize; ++i) bytes += "/folder/" + std::to_string(i) + "\\file\n";
  return bytes;
}

TEST(OutputBlock, KeepsItsBytesInOrderAcrossPieces) {
  OutputBlock block;
  const std::string large(OutputBlock::PieceSize * 2 + 3, 'L');
  block.append("head\n");
  block.append(large);
  block.append_line({"a", "\\", "b"});
  std::string joined;
  for (std::string_view piece : block.pieces()) joined += piece;
  EXPECT_EQ(joined, "head\n" + large + "a\\b\n");
  EXPECT_EQ(block.size(), joined.size());
}

TEST(AppendBlock, AppendsToWhatIsThere) {
  struct Case {
    const char* what;
    std::optional<std::string> before;
    std::string after;
  } cases[] = {
      {"a missing file is created", std::nullopt, "T\n/a\\1\n"},
      {"an empty file", "", "T\n/a\\1\n"},
      {"earlier blocks stay", "Old\n/x\\y\n", "Old\n/x\\y\nT\n/a\\1\n"},
      {"a last line without its line end is ended first", "Old\n/x\\y", "Old\n/x\\y\nT\n/a\\1\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    if (c.before) dir.write("out.txt", *c.before);
    const AppendResult result = append_block((dir / "out.txt").c_str(), block_of("T\n/a\\1\n"));
    EXPECT_EQ(result.kind, AppendResult::Appended) << c.what << ": " << result.reason;
    EXPECT_EQ(dir.read("out.txt"), c.after) << c.what;
  }
}

// A write that fails once `budget` bytes have gone through, as a full disk
// does; EINTR now and then on the way.
size_t budget;
int fail_with;
int calls;
ssize_t limited_write(int fd, const void* bytes, size_t count) {
  if (++calls % 3 == 0) {
    errno = EINTR;
    return -1;
  }
  if (budget == 0) {
    errno = fail_with;
    return -1;
  }
  const size_t n = std::min({count, budget, size_t{4096} + 7});
  budget -= n;
  return ::write(fd, bytes, n);
}

TEST(AppendBlock, AFailedWriteLeavesTheFileAsItWas) {
  for (const std::string before : {"", "Old\n", "Old\n/no line end"}) {
    for (size_t limit : {size_t{0}, size_t{1}, size_t{100000}, size_t{3} << 20}) {
      ScratchDir dir;
      dir.write("out.txt", before);
      budget = limit;
      fail_with = ENOSPC;
      const AppendResult result = append_block((dir / "out.txt").c_str(), block_of(big_block()), limited_write);
      EXPECT_EQ(result.kind, AppendResult::Failed);
      EXPECT_NE(result.reason.find(std::strerror(ENOSPC)), std::string::npos) << result.reason;
      EXPECT_EQ(dir.read("out.txt"), before) << limit;
    }
  }
}

TEST(AppendBlock, EveryByteGoesThroughShortWrites) {
  ScratchDir dir;
  dir.write("out.txt", "Old\n");
  budget = SIZE_MAX;
  const std::string bytes = big_block();
  const AppendResult result = append_block((dir / "out.txt").c_str(), block_of(bytes), limited_write);
  EXPECT_EQ(result.kind, AppendResult::Appended) << result.reason;
  EXPECT_EQ(dir.read("out.txt"), "Old\n" + bytes);
}

TEST(AppendBlock, OnlyRegularFilesAreAppendedTo) {
  ScratchDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  std::filesystem::create_directory(dir / "folder");
  for (const char* name : {"fifo", "folder"}) {
    const AppendResult result = append_block((dir / name).c_str(), block_of("T\n"));
    EXPECT_EQ(result.kind, AppendResult::Failed) << name;
    EXPECT_FALSE(result.reason.empty());
  }
  const AppendResult result = append_block("/dev/null", block_of("T\n"));
  EXPECT_EQ(result.kind, AppendResult::Failed);
  EXPECT_EQ(result.reason, "not a regular file");
}

ino_t inode_of(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// Whether a blocked lock request on the inode shows up within a minute.
bool lock_request_waits(ino_t inode) {
  const std::string mark = ":" + std::to_string(inode) + " ";
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
       std::chrono::steady_clock::now() < deadline;) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
      if (line.find("-> FLOCK") != std::string::npos && line.find(mark) != std::string::npos) return true;
    std::this_thread::yield();
  }
  return false;
}

TEST(AppendBlock, WaitsForTheLockAndAppendsAfterTheHoldersBlock) {
  ScratchDir dir;
  const std::string path = (dir / "out.txt").string();
  dir.write("out.txt", "First\n");
  const int holder = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  auto appended = std::async(std::launch::async, [&] { return append_block(path.c_str(), block_of("Third\n")); });
  // The other append waits for the lock: /proc/locks lists its request.
  ASSERT_TRUE(lock_request_waits(inode_of(path)));
  ASSERT_EQ(pwrite(holder, "Second", 6, 6), 6);  // no line end: the next block ends it
  ASSERT_EQ(flock(holder, LOCK_UN), 0);
  ::close(holder);
  EXPECT_EQ(appended.get().kind, AppendResult::Appended);
  EXPECT_EQ(dir.read("out.txt"), "First\nSecond\nThird\n");
}

}  // namespace
