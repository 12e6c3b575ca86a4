// The store's text arena: texts by offset, the shared empty text, garbage
// from dropped and overwritten texts, and compaction that moves the live
// texts and leaves their holders the new offsets.
#include "tree/text_arena.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tree;

namespace {

TEST(TextArena, StoresTextsOneAfterAnotherBehindTheEmptyOne) {
  TextArena arena;
  EXPECT_STREQ(arena.at(0), "");
  EXPECT_EQ(arena.store(nullptr), 0u);
  EXPECT_EQ(arena.store(""), 0u);
  EXPECT_EQ(arena.size(), 0u) << "the empty text takes no room";
  const uint64_t first = arena.store("first");
  const uint64_t second = arena.store("th\xC3\xA9");
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, first + 6);
  EXPECT_STREQ(arena.at(first), "first");
  EXPECT_STREQ(arena.at(second), "th\xC3\xA9");
  EXPECT_STREQ(arena.at(0), "");
  EXPECT_EQ(arena.size(), 1u + 6 + 5);
  EXPECT_EQ(arena.garbage(), 0u);
}

TEST(TextArena, DroppedTextsBecomeGarbageAndStayReadable) {
  TextArena arena;
  const uint64_t kept = arena.store("kept");
  const uint64_t dropped = arena.store("dropped");
  arena.drop(dropped);
  arena.drop(0);
  EXPECT_EQ(arena.garbage(), std::string("dropped").size() + 1);
  EXPECT_STREQ(arena.at(kept), "kept");
  // Holders may still read it until the arena is compacted.
  EXPECT_STREQ(arena.at(dropped), "dropped");
}

struct OverwriteCase {
  const char* name;
  const char* old_text;  // nullptr: offset 0
  const char* new_text;
  bool written;
  size_t garbage;  // afterwards
};

void PrintTo(const OverwriteCase& c, std::ostream* out) { *out << c.name; }

class Overwrite : public testing::TestWithParam<OverwriteCase> {};

TEST_P(Overwrite, TakesTheOldTextsPlaceOnlyWhenItFits) {
  const OverwriteCase& c = GetParam();
  TextArena arena;
  const uint64_t offset = c.old_text ? arena.store(c.old_text) : 0;
  const uint64_t after = arena.store("after");
  const size_t size = arena.size();
  const std::string old_text = arena.at(offset);
  EXPECT_EQ(arena.overwrite(offset, c.new_text, std::string(c.new_text).size()), c.written);
  EXPECT_STREQ(arena.at(offset), c.written ? c.new_text : old_text.c_str());
  EXPECT_STREQ(arena.at(after), "after") << "the next text is untouched";
  EXPECT_EQ(arena.size(), size);
  EXPECT_EQ(arena.garbage(), c.garbage);
}

INSTANTIATE_TEST_SUITE_P(
    TextArena, Overwrite,
    testing::Values(OverwriteCase{"Shorter", "longer text", "short", true, 6},
                    OverwriteCase{"SameLength", "abc", "xyz", true, 0},
                    OverwriteCase{"Longer", "abc", "abcd", false, 0},
                    OverwriteCase{"EmptyIsNeverWritten", "abc", "", false, 0},
                    OverwriteCase{"NotOverTheSharedEmptyText", nullptr, "x", false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A caller may pass a text it read from the arena, even the tail of the
// very text it replaces.
TEST(TextArena, OverwritesWithATextFromTheArenaItself) {
  TextArena arena;
  const uint64_t offset = arena.store("folder/name");
  ASSERT_TRUE(arena.overwrite(offset, arena.at(offset) + 7, 4));
  EXPECT_STREQ(arena.at(offset), "name");
  EXPECT_EQ(arena.garbage(), 7u);
}

// Garbage goes once it is at least MinGarbageToCompact bytes and more than
// half of the arena. Each text of n bytes (terminator included) is one
// string of n - 1 characters.
struct CompactCase {
  const char* name;
  size_t live;     // bytes of the live texts: two small ones and a filler
  size_t garbage;  // bytes of the one dropped text
  bool compacts;
};

void PrintTo(const CompactCase& c, std::ostream* out) { *out << c.name; }

class Compact : public testing::TestWithParam<CompactCase> {};

constexpr size_t Min = TextArena::MinGarbageToCompact;

TEST_P(Compact, PacksTheLiveTextsOnceGarbageIsDue) {
  const CompactCase& c = GetParam();
  TextArena arena;
  const std::string filler(c.live - 2 - 3 - 1, 'f');
  // The holders' offsets, one of them the empty text, with the dropped
  // text among them so that packing moves the later ones.
  std::vector<uint64_t> offsets{arena.store("a")};
  const uint64_t dropped = arena.store(std::string(c.garbage - 1, 'g').c_str());
  offsets.push_back(arena.store("bc"));
  offsets.push_back(0);
  offsets.push_back(arena.store(filler.c_str()));
  arena.drop(dropped);
  ASSERT_EQ(arena.size(), 1 + c.live + c.garbage);
  ASSERT_EQ(arena.garbage(), c.garbage);
  const std::vector<uint64_t> before = offsets;

  int relocations = 0;
  arena.compact([&](TextArena::Packer& packer) {
    ++relocations;
    for (uint64_t& offset : offsets) offset = packer.pack(offset);
  });

  EXPECT_EQ(relocations, c.compacts ? 1 : 0);
  EXPECT_STREQ(arena.at(offsets[0]), "a");
  EXPECT_STREQ(arena.at(offsets[1]), "bc");
  EXPECT_EQ(offsets[2], 0u);
  EXPECT_EQ(arena.at(offsets[3]), filler);
  if (c.compacts) {
    EXPECT_EQ(offsets, (std::vector<uint64_t>{1, 3, 0, 6}));
    EXPECT_EQ(arena.size(), 1 + c.live);
    EXPECT_EQ(arena.garbage(), 0u);
  } else {
    EXPECT_EQ(offsets, before);
    EXPECT_EQ(arena.size(), 1 + c.live + c.garbage);
    EXPECT_EQ(arena.garbage(), c.garbage);
  }
}

// With 1 + live + garbage bytes in all, garbage is more than half when
// live + 1 < garbage.
INSTANTIATE_TEST_SUITE_P(TextArena, Compact,
                         testing::Values(CompactCase{"GarbageBelowTheMinimum", 10, Min - 1, false},
                                         CompactCase{"GarbageAtTheMinimum", 10, Min, true},
                                         CompactCase{"GarbageHalfTheArena", 2 * Min - 1, 2 * Min, false},
                                         CompactCase{"GarbageJustOverHalf", 2 * Min - 2, 2 * Min, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextArena, OverwrittenTailsCountTowardsCompaction) {
  TextArena arena;
  uint64_t offset = arena.store(std::string(2 * Min, 'o').c_str());
  ASSERT_TRUE(arena.overwrite(offset, "short", 5));
  arena.compact([&](TextArena::Packer& packer) { offset = packer.pack(offset); });
  EXPECT_EQ(offset, 1u);
  EXPECT_STREQ(arena.at(offset), "short");
  EXPECT_EQ(arena.size(), 1u + 6);
  EXPECT_EQ(arena.garbage(), 0u);
}

TEST(TextArena, ClearForgetsEveryTextAndStartsAfresh) {
  TextArena arena;
  arena.store("one");
  arena.drop(arena.store("two"));
  arena.clear();
  EXPECT_EQ(arena.size(), 0u);
  EXPECT_EQ(arena.garbage(), 0u);
  EXPECT_EQ(arena.store("again"), 1u);
  EXPECT_STREQ(arena.at(1), "again");
}

}  // namespace
