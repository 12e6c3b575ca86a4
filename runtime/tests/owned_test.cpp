// Owned handles and descriptors give back what they hold exactly once.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "runtime/descriptor.h"
#include "runtime/owned.h"

namespace {

bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

int frees = 0;
void count_free(int*) { ++frees; }

TEST(Owned, FreesWithTheLibrarysFunctionOnce) {
  int value = 0;
  frees = 0;
  {
    runtime::Owned<int, count_free> owned(&value);
    runtime::Owned<int, count_free> moved = std::move(owned);
    EXPECT_EQ(owned.get(), nullptr);
  }
  EXPECT_EQ(frees, 1);
  runtime::Owned<FILE, fclose> stream(tmpfile());
  ASSERT_TRUE(stream);
  const int fd = fileno(stream.get());
  stream.reset();
  EXPECT_FALSE(is_open(fd));
}

TEST(Descriptor, ClosesOnceWhereverItGoes) {
  int fd = open("/dev/null", O_RDONLY);
  {
    runtime::Descriptor first(fd);
    runtime::Descriptor second = std::move(first);
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), fd);
    runtime::Descriptor third;
    third = std::move(second);
    EXPECT_TRUE(is_open(fd));
  }
  EXPECT_FALSE(is_open(fd));

  runtime::Descriptor early(open("/dev/null", O_RDONLY));
  fd = early.get();
  EXPECT_EQ(early.close(), 0);
  EXPECT_FALSE(early.valid());
  EXPECT_FALSE(is_open(fd));
  EXPECT_EQ(early.close(), 0);

  // Closing a descriptor that is no longer open says why.
  runtime::Descriptor stale(open("/dev/null", O_RDONLY));
  close(stale.get());
  EXPECT_EQ(stale.reset(), EBADF);

  runtime::Descriptor given(open("/dev/null", O_RDONLY));
  fd = given.release();
  EXPECT_TRUE(is_open(fd));
  close(fd);
}

}  // namespace
