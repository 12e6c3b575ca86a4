#include "search/line_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/reference_lines.h"
#include "tests/support/scratch_folder.h"

using namespace search;
using test_support::ScratchFolder;

namespace {

std::vector<std::string> lines_of(const ScratchFolder& dir, const std::string& bytes) {
  dir.write("list.txt", bytes);
  ListReader reader((dir / "list.txt").c_str());
  LineBlock block;
  while (reader.read_line(block)) {
  }
  std::vector<std::string> lines;
  for (size_t i = 0; i < block.count(); ++i) lines.emplace_back(block.line(i));
  return lines;
}

TEST(ListReader, LineRules) {
  const std::string megabyte(size_t{1} << 20, 'm');
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"every terminator", std::string("a\nb\r\nc\rd\0e", 10), {"a", "b", "c", "d", "e"}},
      {"no empty line after a final terminator", "a\r\n", {"a"}},
      {"a final lone CR", "a\r", {"a"}},
      {"empty lines", "\n\na\n\r", {"", "", "a", ""}},
      {"empty file", "", {}},
      {"bytes are kept as they are", "/a\xFF/\xED\xA0\x80\n\xC3\n", {"/a\xFF/\xED\xA0\x80", "\xC3"}},
      {"a byte-order mark at the start is skipped", "\xEF\xBB\xBF" "a\n\xEF\xBB\xBF" "b\n", {"a", "\xEF\xBB\xBF" "b"}},
      {"a byte-order mark alone", "\xEF\xBB\xBF", {}},
      {"half a byte-order mark is content", "\xEF\xBB\n", {"\xEF\xBB"}},
      {"lines across reads", megabyte + "x\ny", {megabyte + "x", "y"}},
      {"CR LF split by a read", megabyte.substr(1) + "\r\ny", {megabyte.substr(1), "y"}},
      {"CR then a line split by a read", megabyte.substr(1) + "\ry", {megabyte.substr(1), "y"}},
  };
  ScratchFolder dir;
  for (const Case& c : cases) EXPECT_EQ(lines_of(dir, c.bytes), c.lines) << c.what;
}

TEST(ListReader, AgreesWithTheLineRulesOnRandomFiles) {
  std::mt19937 random(5);
  const std::string alphabet = std::string("ab/\xC3\xFF\r\n\r\n", 9) + std::string(1, '\0');
  ScratchFolder dir;
  for (int round = 0; round < 300; ++round) {
    std::string bytes = round % 5 == 0 ? "\xEF\xBB\xBF" : "";
    const size_t length = random() % (round % 10 == 0 ? 600000 : 3000);
    for (size_t i = 0; i < length; ++i) {
      // Mostly letters, so that lines of many lengths occur.
      bytes.push_back(random() % 8 ? 'a' + static_cast<char>(random() % 3) : alphabet[random() % alphabet.size()]);
    }
    dir.write("list.txt", bytes);
    const size_t step = 1 + random() % 70;
    ListReader reader((dir / "list.txt").c_str());
    LineBlock block;
    while (reader.read_lines(block, step, 1 + random() % 5000)) {
    }
    std::vector<std::string> lines;
    for (size_t i = 0; i < block.count(); ++i) lines.emplace_back(block.line(i));
    const std::vector<std::string> expected = test_support::reference_lines(bytes, test_support::StartMark::Skip);
    ASSERT_EQ(lines.size(), expected.size()) << "round " << round;
    for (size_t i = 0; i < lines.size(); ++i)
      ASSERT_EQ(lines[i], expected[i]) << "round " << round << " line " << i << " of " << lines.size();
  }
}

TEST(ListReader, MissingFileIsEmpty) {
  ScratchFolder dir;
  ListReader reader((dir / "missing.txt").c_str());
  LineBlock block;
  EXPECT_FALSE(reader.read_line(block));
  EXPECT_EQ(block.count(), 0u);
}

TEST(PairReader, FolderListDecidesThePairs) {
  ScratchFolder dir;
  struct Case {
    std::string folders, files;
    std::vector<std::pair<std::string, std::string>> pairs;
  } cases[] = {
      {"/a\n/b\n/c\n", "1\n", {{"/a", "1"}, {"/b", ""}, {"/c", ""}}},
      {"/a", "1\n2\n3\n", {{"/a", "1"}}},
      {"", "1\n", {}},
      {"\xEF\xBB\xBF/a\r\n", "\xEF\xBB\xBF" "1\r", {{"/a", "1"}}},
  };
  for (const Case& c : cases) {
    dir.write("folders", c.folders);
    dir.write("files", c.files);
    PairReader reader((dir / "folders").c_str(), (dir / "files").c_str());
    PairBatch batch;
    std::vector<std::pair<std::string, std::string>> pairs;
    while (reader.read_batch(batch)) {
      ASSERT_EQ(batch.files.count(), batch.folders.count());
      for (size_t n = 0; n < batch.count(); ++n)
        pairs.emplace_back(batch.folders.line(n), batch.files.line(n));
    }
    EXPECT_EQ(pairs, c.pairs) << c.folders;
  }
}

TEST(PairReader, BatchesKeepEveryPairInOrder) {
  ScratchFolder dir;
  std::string folders, files;
  const size_t total = PairReader::BatchPairs * 2 + 5;
  for (size_t i = 0; i < total; ++i) {
    folders += "/f" + std::to_string(i) + "\n";
    files += std::to_string(i) + "\n";
  }
  dir.write("folders", folders);
  dir.write("files", files);
  PairReader reader((dir / "folders").c_str(), (dir / "files").c_str());
  PairBatch batch;
  size_t seen = 0, batches = 0;
  while (reader.read_batch(batch)) {
    ++batches;
    EXPECT_LE(batch.count(), PairReader::BatchPairs);
    for (size_t n = 0; n < batch.count(); ++n, ++seen) {
      ASSERT_EQ(batch.folders.line(n), "/f" + std::to_string(seen));
      ASSERT_EQ(batch.files.line(n), std::to_string(seen));
    }
  }
  EXPECT_EQ(seen, total);
  EXPECT_EQ(batches, 3u);
}

// The block as the matcher searches it whole: the byte-order mark must not
// join the first line to anything before it, and a block is marked plain
// ASCII exactly when none of its lines holds a byte of 0x80 or above.
TEST(ListReader, BlockBytesAsTheMatcherSeesThem) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string block;  // every byte read, the last line's terminator included
    bool ascii;
  } cases[] = {
      {"plain lines", "ab\ncd\r\n", "ab\ncd\r\n", true},
      {"a mark becomes line ends", "\xEF\xBB\xBF" "ab\n", "\n\n\nab\n", true},
      {"a mark alone", "\xEF\xBB\xBF", "\n\n\n", true},
      {"a high byte in the last line", "ab\nc\xC3\xA9", "ab\nc\xC3\xA9", false},
      {"a high byte far into a long line", std::string(1000, 'a') + "\xFF", std::string(1000, 'a') + "\xFF", false},
      {"a mark later on is content", "a\n\xEF\xBB\xBF", "a\n\xEF\xBB\xBF", false},
  };
  ScratchFolder dir;
  for (const Case& c : cases) {
    dir.write("list.txt", c.bytes);
    ListReader reader((dir / "list.txt").c_str());
    LineBlock block;
    while (reader.read_lines(block, 1000)) {
    }
    EXPECT_EQ(block.bytes.view(), c.block) << c.what;
    EXPECT_EQ(block.ascii, c.ascii) << c.what;
  }
}

}  // namespace
