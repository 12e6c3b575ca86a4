// What each read from a descriptor tells its reader.
#include "runtime/byte_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

using Status = runtime::ByteSource::Status;

struct Pipe {
  runtime::Descriptor read, write;
  explicit Pipe(int flags = 0) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | flags) == 0) {
      read.reset(ends[0]);
      write.reset(ends[1]);
    }
  }
};

TEST(ByteSource, BytesThenTheEndOnceTheWriterHasGone) {
  Pipe pipe;
  ASSERT_TRUE(pipe.read.valid());
  ASSERT_EQ(::write(pipe.write.get(), "abcdef", 6), 6);
  pipe.write.reset();
  runtime::ByteSource source(std::move(pipe.read));
  std::array<char, 4> room{};
  auto filled = source.fill(room);
  EXPECT_EQ(filled.status, Status::More);
  EXPECT_EQ(std::string(room.data(), filled.bytes), "abcd");
  filled = source.fill(room);
  EXPECT_EQ(filled.status, Status::More);
  EXPECT_EQ(std::string(room.data(), filled.bytes), "ef");
  filled = source.fill(room);
  EXPECT_EQ(filled.status, Status::End);
  EXPECT_EQ(filled.bytes, 0u);
  // Still open: the reader decides when an end is final.
  EXPECT_TRUE(source.is_open());
}

TEST(ByteSource, NothingYetOnANonBlockingDescriptorIsBlockedNotTheEnd) {
  Pipe pipe(O_NONBLOCK);
  ASSERT_TRUE(pipe.read.valid());
  runtime::ByteSource source(std::move(pipe.read));
  std::array<char, 8> room{};
  EXPECT_EQ(source.fill(room).status, Status::Blocked);
  ASSERT_EQ(::write(pipe.write.get(), "x", 1), 1);
  const auto filled = source.fill(room);
  EXPECT_EQ(filled.status, Status::More);
  EXPECT_EQ(filled.bytes, 1u);
}

TEST(ByteSource, AReadErrorOrNoDescriptorIsTheEnd) {
  std::array<char, 8> room{};
  // Reading a folder fails with EISDIR.
  runtime::ByteSource folder(runtime::Descriptor(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
  ASSERT_TRUE(folder.is_open());
  EXPECT_EQ(folder.fill(room).status, Status::End);
  runtime::ByteSource none;
  EXPECT_FALSE(none.is_open());
  EXPECT_EQ(none.fill(room).status, Status::End);
  runtime::ByteSource closed(runtime::Descriptor(::open("/dev/zero", O_RDONLY | O_CLOEXEC)));
  EXPECT_EQ(closed.fill(room).status, Status::More);
  closed.close();
  EXPECT_EQ(closed.descriptor(), -1);
  EXPECT_EQ(closed.fill(room).status, Status::End);
}

}  // namespace
