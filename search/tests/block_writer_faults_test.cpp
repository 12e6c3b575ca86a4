// Every write and close of an append failed in turn: the append either
// lands whole and says so, or says it failed and leaves the file byte for
// byte as it was.
#include <gtest/gtest.h>

#include <string>

#include "search/block_writer.h"
#include "tests/fault_injection/system_call_faults.h"
#include "tests/support/scratch_folder.h"

using namespace search;
using test_support::ScratchFolder;

namespace {

TEST(AppendFaults, EveryWriteAndCloseFailedInTurnLeavesAllOrNothing) {
  // Large enough to take several writes, after the line end the old last
  // line lacks.
  std::string bytes = "Tree\n";
  for (int i = 0; bytes.size() < (size_t{20} << 20); ++i) bytes += "/folder/" + std::to_string(i) + "\\file\n";
  OutputBlock block;
  block.append(bytes);
  const std::string before = "Old\n/x\\y";
  ScratchFolder dir;
  const std::string path = (dir / "out.txt").string();
  uint64_t points = 0;
  for (uint64_t fail_at = 1; fail_at < 1000; ++fail_at) {
    SCOPED_TRACE("call " + std::to_string(fail_at));
    dir.write("out.txt", before);
    AppendResult result;
    bool fired = false;
    std::string call;
    {
      fault_injection::SystemCallFaults faults(fail_at);
      result = append_block(path.c_str(), block);
      fired = faults.fired();
      call = faults.failed_call();
    }
    const std::string after = dir.read("out.txt");
    if (!fired) {
      EXPECT_EQ(result.kind, AppendResult::Kind::Appended) << result.reason;
      EXPECT_TRUE(after == before + "\n" + bytes) << "the block did not land whole";
      break;
    }
    ++points;
    SCOPED_TRACE("a failed " + call);
    if (result.kind == AppendResult::Kind::Appended) {
      EXPECT_TRUE(after == before + "\n" + bytes) << "said appended, but the block is not whole";
    } else {
      EXPECT_EQ(result.kind, AppendResult::Kind::Failed);
      EXPECT_FALSE(result.reason.empty());
      EXPECT_TRUE(after == before) << "said failed, but the file changed: " << after.size() << " bytes";
    }
  }
  EXPECT_GT(points, 2u);
  std::printf("an append of %zu bytes: %llu write and close points\n", bytes.size(),
              static_cast<unsigned long long>(points));
}

}  // namespace
