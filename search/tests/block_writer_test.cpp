#include "search/block_writer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <future>
#include <system_error>
#include <thread>

#include "search/tests/file_lock_watch.h"
#include "tests/support/scratch_folder.h"

using namespace search;
using test_support::ScratchFolder;

namespace {

OutputBlock block_of(const std::string& bytes) {
  OutputBlock block;
  block.append(bytes);
  return block;
}

// append_block, with this thread's signal mask given back afterwards: the
// append leaves its stopping signals held back for the process's end.
AppendResult append(const std::string& path, const OutputBlock& block, WriteCall write_call = nullptr) {
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  AppendResult result = append_block(path.c_str(), block, write_call);
  pthread_sigmask(SIG_SETMASK, &mask, nullptr);
  return result;
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

// The block's bytes: those spilled to its file, then those it holds.
std::string contents(const OutputBlock& block) {
  std::string joined(block.spilled(), '\0');
  if (block.spilled() && pread(block.spill_descriptor(), joined.data(), joined.size(), 0) != ssize_t(joined.size()))
    return "unreadable";
  for (std::string_view piece : block.pieces()) joined += piece;
  return joined;
}

// A block that holds at most a piece in memory and spills to the folder.
OutputBlock spilling_block_of(const ScratchFolder& dir, const std::string& bytes) {
  OutputBlock block(dir.path().string(), OutputBlock::PieceSize);
  for (size_t at = 0; at < bytes.size(); at += 1000) block.append(std::string_view(bytes).substr(at, 1000));
  return block;
}

TEST(OutputBlock, SpillsBeyondItsBoundAndKeepsItsBytesInOrder) {
  ScratchFolder dir;
  const std::string bytes = big_block(), large(OutputBlock::PieceSize + 5, 'L');
  OutputBlock block = spilling_block_of(dir, bytes);
  EXPECT_GT(block.spilled(), 0u);
  EXPECT_LE(block.size() - block.spilled(), OutputBlock::PieceSize);
  block.append_line({"a", "\\", "b"});
  block.append(large);  // too large to hold: straight to the file
  block.append("tail\n");
  EXPECT_EQ(block.size(), bytes.size() + 4 + large.size() + 5);
  EXPECT_EQ(contents(block), bytes + "a\\b\n" + large + "tail\n");
  // The file has no name: the folder holds nothing.
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(OutputBlock, AFolderThatCannotTakeTheFileIsReported) {
  ScratchFolder dir;
  OutputBlock block((dir / "missing").string(), OutputBlock::PieceSize);
  EXPECT_THROW(block.append(big_block()), std::system_error);
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
    ScratchFolder dir;
    if (c.before) dir.write("out.txt", *c.before);
    const AppendResult result = append(dir / "out.txt", block_of("T\n/a\\1\n"));
    EXPECT_EQ(result.kind, AppendResult::Kind::Appended) << c.what << ": " << result.reason;
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
      ScratchFolder dir;
      dir.write("out.txt", before);
      budget = limit;
      fail_with = ENOSPC;
      const AppendResult result = append(dir / "out.txt", block_of(big_block()), limited_write);
      EXPECT_EQ(result.kind, AppendResult::Kind::Failed);
      EXPECT_NE(result.reason.find(std::strerror(ENOSPC)), std::string::npos) << result.reason;
      EXPECT_EQ(dir.read("out.txt"), before) << limit;
    }
  }
}

TEST(AppendBlock, EveryByteGoesThroughShortWrites) {
  for (bool spilled : {false, true}) {
    ScratchFolder dir;
    dir.write("out.txt", "Old\n");
    budget = SIZE_MAX;
    const std::string bytes = big_block();
    const AppendResult result =
        append(dir / "out.txt", spilled ? spilling_block_of(dir, bytes) : block_of(bytes), limited_write);
    EXPECT_EQ(result.kind, AppendResult::Kind::Appended) << result.reason;
    EXPECT_EQ(dir.read("out.txt"), "Old\n" + bytes) << spilled;
  }
}

TEST(AppendBlock, AFailedWriteOfASpilledBlockLeavesTheFileAsItWas) {
  for (size_t limit : {size_t{0}, size_t{100000}, size_t{3} << 20, size_t{9} << 20}) {
    ScratchFolder dir;
    dir.write("out.txt", "Old\n");
    budget = limit;
    fail_with = ENOSPC;
    const AppendResult result = append(dir / "out.txt", spilling_block_of(dir, big_block()), limited_write);
    EXPECT_EQ(result.kind, AppendResult::Kind::Failed) << limit;
    EXPECT_NE(result.reason.find("the file is left as it was"), std::string::npos) << result.reason;
    EXPECT_EQ(dir.read("out.txt"), "Old\n") << limit;
  }
}

TEST(AppendBlock, OnlyRegularFilesAreAppendedTo) {
  ScratchFolder dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  std::filesystem::create_directory(dir / "folder");
  for (const char* name : {"fifo", "folder"}) {
    const AppendResult result = append(dir / name, block_of("T\n"));
    EXPECT_EQ(result.kind, AppendResult::Kind::Failed) << name;
    EXPECT_FALSE(result.reason.empty());
  }
  const AppendResult result = append("/dev/null", block_of("T\n"));
  EXPECT_EQ(result.kind, AppendResult::Kind::Failed);
  EXPECT_EQ(result.reason, "not a regular file");
}

TEST(AppendBlock, WaitsForTheLockAndAppendsAfterTheHoldersBlock) {
  ScratchFolder dir;
  const std::string path = (dir / "out.txt").string();
  dir.write("out.txt", "First\n");
  const int holder = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  auto appended = std::async(std::launch::async, [&] { return append(path, block_of("Third\n")); });
  // The other append waits for the lock: /proc/locks lists its request.
  ASSERT_TRUE(lock_request_waits(inode_of(path)));
  ASSERT_EQ(pwrite(holder, "Second", 6, 6), 6);  // no line end: the next block ends it
  ASSERT_EQ(flock(holder, LOCK_UN), 0);
  ::close(holder);
  EXPECT_EQ(appended.get().kind, AppendResult::Kind::Appended);
  EXPECT_EQ(dir.read("out.txt"), "First\nSecond\nThird\n");
}

// Writes of at most 1000 bytes; before write number `other_at` (counted
// from 1) another program appends "Other\n" to `other_path` without the
// lock, and write number `full_at` finds the disk full.
std::string other_path;
int other_at, full_at;
ssize_t interleaved_write(int fd, const void* bytes, size_t count) {
  ++calls;
  if (calls == other_at) {
    const int other = ::open(other_path.c_str(), O_WRONLY | O_APPEND);
    if (other < 0 || ::write(other, "Other\n", 6) != 6) std::abort();
    ::close(other);
  }
  if (calls == full_at) {
    errno = ENOSPC;
    return -1;
  }
  return ::write(fd, bytes, std::min(count, size_t{1000}));
}

TEST(AppendBlock, ARollbackCutsBackOnlyItsOwnBytes) {
  std::string bytes;
  for (int i = 0; bytes.size() < 5000; ++i) bytes += "/f/" + std::to_string(i) + "\\x\n";
  struct Case {
    const char* what;
    int other_at, full_at;
    std::string after;
    const char* said;
  } cases[] = {
      {"nobody else writes", 0, 3, "Old\n", "the file is left as it was"},
      {"another program appends before the first write", 1, 3, "Old\nOther\n",
       "the unfinished block is removed, and what another program wrote meanwhile is kept"},
      {"another program appends between two writes", 2, 4, "Old\n" + bytes.substr(0, 1000) + "Other\n",
       "1000 bytes of the unfinished block remain, the first at byte 4"},
      {"another program appends after the last write", 3, 3, "Old\n" + bytes.substr(0, 2000) + "Other\n",
       "2000 bytes of the unfinished block remain, the first at byte 4"},
  };
  for (const Case& c : cases) {
    ScratchFolder dir;
    dir.write("out.txt", "Old\n");
    other_path = dir / "out.txt";
    other_at = c.other_at;
    full_at = c.full_at;
    calls = 0;
    const AppendResult result = append(dir / "out.txt", block_of(bytes), interleaved_write);
    EXPECT_EQ(result.kind, AppendResult::Kind::Failed) << c.what;
    EXPECT_NE(result.reason.find(c.said), std::string::npos) << c.what << ": " << result.reason;
    EXPECT_EQ(dir.read("out.txt"), c.after) << c.what;
  }
}

}  // namespace
