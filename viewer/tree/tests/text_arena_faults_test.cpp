// Every allocation of the text arena's operations failed in turn: a store
// either completes or leaves the arena as it was, and a compaction whose
// packed arena cannot be had keeps its garbage with every text where it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <ostream>
#include <new>
#include <string>
#include <vector>

#include "tests/fault_injection/allocation_faults.h"
#include "tree/text_arena.h"

using namespace tree;

namespace {

// An arena with the offsets its holders keep, as the store's nodes keep
// theirs.
struct Held {
  TextArena texts;
  std::vector<uint64_t> offsets;
};

struct Snapshot {
  size_t size = 0;
  size_t garbage = 0;
  std::vector<uint64_t> offsets;
  std::vector<std::string> texts;
  bool operator==(const Snapshot&) const = default;
};

// The texts are megabytes long: a failure names the sizes and offsets.
void PrintTo(const Snapshot& shot, std::ostream* out) {
  *out << "size " << shot.size << ", garbage " << shot.garbage << ", offsets";
  for (uint64_t offset : shot.offsets) *out << ' ' << offset;
}

Snapshot snapshot(const Held& held) {
  Snapshot shot{held.texts.size(), held.texts.garbage(), held.offsets, {}};
  for (uint64_t offset : held.offsets) shot.texts.emplace_back(held.texts.at(offset));
  return shot;
}

// Large enough for the arena's memory to be mapped apart, and garbage
// enough for a compaction to be due.
const std::string LongText(3 << 20, 'l');
// Longer than all the room a filled arena has, so that storing it grows
// the arena.
const std::string LongerText(8 << 20, 'L');

void fill(Held& held) {
  held.offsets.reserve(16);  // the holders' own growth never fails here
  held.offsets.push_back(held.texts.store("alpha"));
  const uint64_t dropped = held.texts.store(LongText.c_str());
  held.offsets.push_back(held.texts.store("beta"));
  held.offsets.push_back(0);
  held.offsets.push_back(held.texts.store(std::string(1000, 'b').c_str()));
  held.texts.drop(dropped);
}

struct Operation {
  const char* name;
  std::function<void(Held&)> run;
};

const Operation Operations[] = {
    {"store a text longer than the room left", [](Held& h) { h.offsets.push_back(h.texts.store(LongerText.c_str())); }},
    {"compact", [](Held& h) {
       h.texts.compact([&](TextArena::Packer& packer) {
         for (uint64_t& offset : h.offsets) offset = packer.pack(offset);
       });
     }},
};

TEST(TextArenaFaults, EveryAllocationOfEveryOperationFailsCleanly) {
  for (const Operation& operation : Operations) {
    SCOPED_TRACE(operation.name);
    Held untouched;
    fill(untouched);
    const Snapshot before = snapshot(untouched);
    Held unfailed;
    fill(unfailed);
    operation.run(unfailed);
    const Snapshot done = snapshot(unfailed);
    ASSERT_NE(done, before) << "the operation changes the arena";

    uint64_t points = 0;
    for (uint64_t fail_at = 1;; ++fail_at) {
      SCOPED_TRACE("allocation " + std::to_string(fail_at));
      Held held;
      fill(held);
      bool fired = false;
      {
        fault_injection::AllocationFaults faults(fail_at);
        try {
          operation.run(held);
        } catch (const std::bad_alloc&) {
        }
        fired = faults.fired();
      }
      const Snapshot after = snapshot(held);
      if (!fired) {
        EXPECT_EQ(after, done);
        break;
      }
      ++points;
      EXPECT_TRUE(after == before || after == done) << "a failed " << operation.name << " left the arena half changed";
      // What it holds is still an arena: it can be added to.
      const uint64_t added = held.texts.store("after");
      EXPECT_STREQ(held.texts.at(added), "after");
    }
    // Each operation allocates at least once, or the walk showed nothing.
    EXPECT_GT(points, 0u);
    std::printf("%s: %llu allocation points\n", operation.name, static_cast<unsigned long long>(points));
  }
}

// The packed arena is the one allocation of a compaction: when it fails,
// nothing is moved.
TEST(TextArenaFaults, CompactionWithoutRoomKeepsTheGarbage) {
  Held held;
  fill(held);
  const Snapshot before = snapshot(held);
  int relocations = 0;
  {
    fault_injection::AllocationFaults faults(1);
    held.texts.compact([&](TextArena::Packer& packer) {
      ++relocations;
      for (uint64_t& offset : held.offsets) offset = packer.pack(offset);
    });
    ASSERT_TRUE(faults.fired());
  }
  EXPECT_EQ(relocations, 0);
  EXPECT_EQ(snapshot(held), before);
  EXPECT_EQ(held.texts.garbage(), LongText.size() + 1);
}

}  // namespace
