// A whole search run with every allocation failed in turn, its own and
// Hyperscan's: each run either appends the exact block and returns 0, or
// says why in one line, returns 1 and leaves the output byte for byte as it
// was. Never a crash, never a leak (the sanitizer build checks the leaks).
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <hs/hs.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "search/search_run.h"
#include "tests/fault_injection/allocation_faults.h"
#include "tests/support/current_folder.h"
#include "tests/support/scratch_folder.h"

using test_support::ScratchFolder;

namespace {

void* counted_allocation(size_t bytes) {
  return fault_injection::allocation_fails_now() ? nullptr : std::malloc(bytes);
}

struct Outcome {
  int status = 0;
  std::string err;
  bool fired = false;
};

// run_search in `dir`, its standard error kept apart, allocation `fail_at`
// failing.
Outcome run_failing(const ScratchFolder& dir, uint64_t fail_at) {
  Outcome run;
  {
    // The run reads and writes its files by relative name.
    const test_support::CurrentFolder here(dir.path());
    const int saved = dup(2);
    const int err = open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, 2);
    close(err);
    {
      fault_injection::AllocationFaults faults(fail_at);
      run.status = search::run_search();
      run.fired = faults.fired();
    }
    dup2(saved, 2);
    close(saved);
  }
  run.err = dir.read(".stderr");
  std::filesystem::remove(dir / ".stderr");
  return run;
}

TEST(SearchRunFaults, EveryAllocationFailedInTurnAppendsAllOrNothing) {
  hs_set_allocator(counted_allocation, std::free);
  ScratchFolder dir;
  dir.write("searchTreeName.txt", "\xEF\xBB\xBFTree\n");
  dir.write("searchTermsList.txt", "alpha\nM\xC3\x9AS\n");
  dir.write("foldersScratch.txt", "/home/alpha\n/srv/m\xC3\xBAsica\n/tmp\n/tmp\n");
  dir.write("filesScratch.txt", "1.txt\n2.mp3\nALPHA.md\nbeta\n");
  const std::string before = "Old\n/x\\y";
  const std::string expected = before + "\nTree\n/home/alpha\\1.txt\n/srv/m\xC3\xBAsica\\2.mp3\n/tmp\\ALPHA.md\n";
  uint64_t points = 0;
  for (uint64_t fail_at = 1; fail_at < 100000; ++fail_at) {
    SCOPED_TRACE("allocation " + std::to_string(fail_at));
    dir.write("searchOutputList.txt", before);
    const Outcome run = run_failing(dir, fail_at);
    const std::string output = dir.read("searchOutputList.txt");
    if (!run.fired) {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(output, expected);
      break;
    }
    ++points;
    if (run.status == 0) {
      // A failure it found a way round.
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(output, expected);
    } else {
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
      EXPECT_NE(run.err.find("searchOutputList.txt"), std::string::npos) << run.err;
      EXPECT_EQ(output, before);
    }
    if (testing::Test::HasFailure()) break;
  }
  hs_set_allocator(nullptr, nullptr);
  EXPECT_GT(points, 0u);
  std::printf("a search run: %llu allocation points\n", static_cast<unsigned long long>(points));
}

}  // namespace
