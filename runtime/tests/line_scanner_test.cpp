// The line rules, each case run with its bytes split at every point and in
// chunks of every size, as reads of a file or a pipe would split them.
#include "runtime/line_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/reference_lines.h"

using runtime::ByteOrderMark;
using runtime::LineScanner;

namespace {

struct LineCase {
  const char* what;
  std::string bytes;
  std::vector<std::string> lines;      // with the mark skipped
  std::vector<std::string> kept = {};  // with the mark kept, when it differs
};

const std::string Mark = "\xEF\xBB\xBF";

const LineCase LineCases[] = {
    {"every kind of end", "a\nb\r\nc\rd", {"a", "b", "c", "d"}},
    {"a final LF adds no line", "a\n", {"a"}},
    {"a final CR LF adds no line", "a\r\n", {"a"}},
    {"a final lone CR adds no line", "a\r", {"a"}},
    {"LF LF gives an empty line", "a\n\nb", {"a", "", "b"}},
    {"LF CR is two ends", "a\n\rb", {"a", "", "b"}},
    {"CR CR LF is two ends", "a\r\r\nb", {"a", "", "b"}},
    {"a zero byte ends a line", std::string("a\0b", 3), {"a", "b"}},
    {"CR then a zero byte", std::string("a\r\0b", 4), {"a", "", "b"}},
    {"empty input", "", {}},
    {"only an end", "\n", {""}},
    {"only a CR LF", "\r\n", {""}},
    {"a long line", std::string(100, 'x') + "\n" + std::string(37, 'y'),
     {std::string(100, 'x'), std::string(37, 'y')}},
    {"ends in every place of a 16-byte word",
     "0\n12\n345\n6789\nabcdefghijklmn\nopqrstuvwxyzABCDE\r\nF", {"0", "12", "345", "6789", "abcdefghijklmn",
                                                                 "opqrstuvwxyzABCDE", "F"}},
    {"a mark at the start", Mark + "a\nb", {"a", "b"}, {Mark + "a", "b"}},
    {"only a mark", Mark, {}, {Mark}},
    {"a mark and an end", Mark + "\n", {""}, {Mark}},
    {"a mark further on is content", "a\n" + Mark + "b", {"a", Mark + "b"}, {"a", Mark + "b"}},
    {"the start of a mark only", "\xEF\xBB", {"\xEF\xBB"}},
    {"a mark's start then other bytes", "\xEF\xBBx\n", {"\xEF\xBBx"}},
    {"two marks: the second is content", Mark + Mark + "a", {Mark + "a"}, {Mark + Mark + "a"}},
};

// The lines the scanner gives when `bytes` come in chunks of `sizes`, the
// last chunk as the end.
std::vector<std::string> scan_in_chunks(const std::string& bytes, const std::vector<size_t>& sizes,
                                        ByteOrderMark mark, size_t max_lines = SIZE_MAX) {
  LineScanner scanner(mark);
  std::vector<std::string> lines;
  std::string pending;
  size_t at = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    pending += bytes.substr(at, sizes[i]);
    at += sizes[i];
    const bool end = i + 1 == sizes.size();
    // A caller that takes fewer lines at a time calls again on what is left.
    for (;;) {
      const size_t before = lines.size();
      const size_t used = scanner.scan(pending, end, max_lines, [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
      });
      pending.erase(0, used);
      if (lines.size() == before || pending.empty()) break;
    }
  }
  return lines;
}

}  // namespace

namespace runtime {
void PrintTo(ByteOrderMark mark, std::ostream* out) { *out << (mark == ByteOrderMark::Skip ? "mark skipped" : "mark kept"); }
}  // namespace runtime

namespace {

class LineRules : public testing::TestWithParam<ByteOrderMark> {};

TEST_P(LineRules, HoldWhereverTheBytesAreSplit) {
  const ByteOrderMark mark = GetParam();
  for (const LineCase& c : LineCases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string>& expected =
        mark == ByteOrderMark::Keep && !c.kept.empty() ? c.kept : c.lines;
    // The plain rules the list reader's tests and the fuzz targets compare
    // readers with must give these lines too.
    const auto start_mark =
        mark == ByteOrderMark::Skip ? test_support::StartMark::Skip : test_support::StartMark::Keep;
    EXPECT_EQ(test_support::reference_lines(c.bytes, start_mark), expected) << "the reference rules";
    const size_t n = c.bytes.size();
    EXPECT_EQ(scan_in_chunks(c.bytes, {n}, mark), expected) << "in one piece";
    for (size_t split = 0; split <= n; ++split)
      EXPECT_EQ(scan_in_chunks(c.bytes, {split, n - split}, mark), expected) << "split at " << split;
    for (size_t chunk = 1; chunk <= n; ++chunk) {
      std::vector<size_t> sizes(n / chunk, chunk);
      sizes.push_back(n % chunk);
      EXPECT_EQ(scan_in_chunks(c.bytes, sizes, mark), expected) << "in chunks of " << chunk;
      EXPECT_EQ(scan_in_chunks(c.bytes, sizes, mark, 1), expected) << "a line at a time, chunks of " << chunk;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Marks, LineRules, testing::Values(ByteOrderMark::Skip, ByteOrderMark::Keep),
                         [](const auto& info) { return info.param == ByteOrderMark::Skip ? "Skipped" : "Kept"; });

TEST(LineScanner, StopsWhereTheSinkSaysAndGoesOnFromThere) {
  LineScanner scanner(ByteOrderMark::Skip);
  std::string bytes = "a\nb\nc";
  std::vector<std::string> lines;
  const size_t used = scanner.scan(bytes, true, SIZE_MAX, [&](std::string_view line) {
    lines.emplace_back(line);
    return lines.size() < 2;
  });
  EXPECT_EQ(used, 4u);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
  scanner.scan(std::string_view(bytes).substr(used), true, SIZE_MAX, [&](std::string_view line) {
    lines.emplace_back(line);
    return true;
  });
  EXPECT_EQ(lines.back(), "c");
}

TEST(LineScanner, APendingCarriageReturnIsSettledByTheNextByte) {
  LineScanner scanner(ByteOrderMark::Keep);
  int lines = 0;
  const auto count = [&](std::string_view) { return ++lines, true; };
  EXPECT_EQ(scanner.scan("a\r", false, SIZE_MAX, count), 2u);
  ASSERT_TRUE(scanner.pending_cr());
  EXPECT_TRUE(scanner.takes_as_cr_lf('\n'));
  // Settled: an LF now is a line end of its own.
  EXPECT_EQ(scanner.scan("\n", true, SIZE_MAX, count), 1u);
  EXPECT_EQ(lines, 2);
}

TEST(FindLineEnd, FindsTheFirstEndFromAnyStart) {
  std::string bytes(100, 'x');
  for (size_t at = 0; at < bytes.size(); ++at) {
    for (char end : {'\n', '\r', '\0'}) {
      std::string text = bytes;
      text[at] = end;
      EXPECT_EQ(runtime::find_line_end(text), at);
      EXPECT_EQ(runtime::find_line_end(text, at), at);
      EXPECT_EQ(runtime::find_line_end(text, at + 1), std::string_view::npos);
    }
  }
  EXPECT_EQ(runtime::find_line_end("abc", 7), std::string_view::npos);
}

}  // namespace
