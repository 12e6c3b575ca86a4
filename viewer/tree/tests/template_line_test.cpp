#include "tree/template_line.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "runtime/text_file.h"
#include "runtime/utf8.h"
#include "tests/support/current_folder.h"
#include "tests/support/scratch_folder.h"

using namespace tree;

namespace {

// Reads "tree_display_template.txt" in the current folder to its end, as the
// viewer does but without its time slices, and hands every line, in file
// order, to add_node; empty lines count. A missing file gives no line.
void read_template(const TemplateNodeSink& add_node) {
  TemplateReader reader;
  if (!reader.open(TemplateFileName)) return;
  for (;;) {
    const TemplateReader::Status status = reader.read(SIZE_MAX, add_node);
    if (status == TemplateReader::Status::End) return;
    if (status == TemplateReader::Status::Blocked) {
      pollfd waiting{reader.descriptor(), POLLIN, 0};
      poll(&waiting, 1, -1);
    }
  }
}

}  // namespace

// A parsed line with its text kept.
struct Node {
  int32_t level = 0;
  std::string text;
  bool folder = false;
  bool operator==(const Node&) const = default;
};

Node kept(const TemplateLine& line) { return {line.level, std::string(line.text), line.folder}; }

void PrintTo(const Node& node, std::ostream* out) {
  *out << "{level " << node.level << ", text \"" << node.text << "\", "
       << (node.folder ? "folder" : "plain") << "}";
}

namespace {

struct LineCase {
  const char* name;
  std::string line;
  Node expected;
};

void PrintTo(const LineCase& test, std::ostream* out) { *out << test.name; }

class TemplateLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(TemplateLineTest, Parses) {
  EXPECT_EQ(kept(parse_template_line(GetParam().line)), GetParam().expected);
}

// The text is everything after the first ","; a folder's text loses only
// the line's final "/".
INSTANTIATE_TEST_SUITE_P(
    Lines, TemplateLineTest,
    testing::Values(
        LineCase{"Plain", "0,Root", {0, "Root", false}},
        LineCase{"Folder", "1,Docs/", {1, "Docs", true}},
        LineCase{"Empty", "", {0, "", false}},
        LineCase{"NoComma", "Docs", {0, "", false}},
        LineCase{"LevelOnly", "2", {2, "", false}},
        LineCase{"SecondCommaIsText", "1,a,b", {1, "a,b", false}},
        LineCase{"FolderWithSecondComma", "1,a,b/", {1, "a,b", true}},
        LineCase{"SlashInsideText", "1,a/,b", {1, "a/,b", false}},
        LineCase{"NameWithCommaAndBlank", "0,Smith, John/", {0, "Smith, John", true}},
        LineCase{"FileWithCommaAndBlank", "1,report, final.pdf", {1, "report, final.pdf", false}},
        LineCase{"FolderOfTwoLetters", "0,x,y/", {0, "x,y", true}},
        LineCase{"SlashOnly", "/", {0, "", true}},
        LineCase{"FolderWithEmptyText", "1,/", {1, "", true}},
        LineCase{"TrailingBlankIsNoFolder", "1,Docs/ ", {1, "Docs/ ", false}},
        LineCase{"BlanksAroundLevel", " 3 ,x", {3, "x", false}},
        LineCase{"NonNumericLevel", "x3,y", {0, "y", false}},
        LineCase{"NegativeLevel", "-1,x", {-1, "x", false}},
        LineCase{"HexLevel", "$A,x", {10, "x", false}},
        LineCase{"BinaryLevel", "%11,x", {3, "x", false}},
        LineCase{"LevelKeepsLow32Bits", "4294967298,x", {2, "x", false}},
        LineCase{"NonAsciiEndsLevel", "1\xC3\xA9,x", {1, "x", false}},
        LineCase{"EmptyTextBeforeSlashFolder", "1,,/", {1, ",", true}},
        LineCase{"FourByteCharacterFolderLosesOnlyTheSlash", "1,\xF0\x9F\x98\x80/",
                 {1, "\xF0\x9F\x98\x80", true}},
        LineCase{"FourByteCharacterBeforeCommaStaysWhole", "1,a\xF0\x9F\x98\x80,b/",
                 {1, "a\xF0\x9F\x98\x80,b", true}}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

struct FileCase {
  const char* name;
  std::optional<std::string> file;  // nothing: no template file
  std::vector<Node> expected;
};

void PrintTo(const FileCase& test, std::ostream* out) { *out << test.name; }

// Lines of every length from 0 to 20 bytes after the level, ended in turn by
// "\n", a lone "\r" and a zero byte, so that line ends fall at every place
// in the words the reader looks through.
FileCase line_ends_everywhere() {
  FileCase test{"LineEndsAtEveryPlace", std::string(), {}};
  constexpr char Ends[] = {'\n', '\r', '\0'};
  for (int length = 0; length <= 20; ++length) {
    const std::string text(static_cast<size_t>(length), static_cast<char>('a' + length));
    *test.file += "1," + text + Ends[length % 3];
    test.expected.push_back({1, text, false});
  }
  return test;
}

class TemplateFileTest : public testing::TestWithParam<FileCase> {
 protected:
  test_support::ScratchFolder folder{TREE_TEST_SCRATCH};
  // The template is read by its name alone, from the current folder.
  const test_support::CurrentFolder here{folder.path()};
};

TEST_P(TemplateFileTest, GivesOneNodePerLine) {
  const FileCase& test = GetParam();
  if (test.file) folder.write("tree_display_template.txt", *test.file);
  std::vector<Node> nodes;
  read_template([&nodes](const TemplateLine& line) { nodes.push_back(kept(line)); });
  EXPECT_EQ(nodes, test.expected);
}

// The same file read one line per slice, as the viewer does between its
// rounds of events, gives the same nodes.
TEST_P(TemplateFileTest, GivesTheSameNodesOneLineAtATime) {
  const FileCase& test = GetParam();
  if (test.file) folder.write("tree_display_template.txt", *test.file);
  std::vector<Node> nodes;
  TemplateReader reader;
  ASSERT_EQ(reader.open(TemplateFileName), test.file.has_value());
  size_t slices = 0;
  while (reader.read(1, [&nodes](const TemplateLine& line) { nodes.push_back(kept(line)); }) !=
         TemplateReader::Status::End) {
    ASSERT_LT(++slices, 100u) << "the reader never ends";
  }
  EXPECT_EQ(nodes, test.expected);
  EXPECT_EQ(reader.descriptor(), -1) << "the file stays open at its end";
}

INSTANTIATE_TEST_SUITE_P(
    Files, TemplateFileTest,
    testing::Values(
        FileCase{"RootAndFolder", "0,Root\n1,Docs/\n", {{0, "Root", false}, {1, "Docs", true}}},
        FileCase{"CrLf", "0,Root\r\n1,Docs/\r\n", {{0, "Root", false}, {1, "Docs", true}}},
        FileCase{"LoneCr", "0,Root\r1,Docs/\r", {{0, "Root", false}, {1, "Docs", true}}},
        FileCase{"LastLineWithoutTerminator", "0,Root\n1,Docs/", {{0, "Root", false}, {1, "Docs", true}}},
        FileCase{"EmptyLinesAreNodes", "0,a\n\n\n1,b\n",
                 {{0, "a", false}, {0, "", false}, {0, "", false}, {1, "b", false}}},
        FileCase{"SingleLineEnd", "\n", {{0, "", false}}},
        FileCase{"ZeroByteSplitsALine", std::string("0,a") + '\0' + "1,b/\n", {{0, "a", false}, {1, "b", true}}},
        FileCase{"ByteOrderMarkIsSkipped", "\xEF\xBB\xBF" "2,R\xC3\xA9sum\xC3\xA9/\n3,x\n",
                 {{2, "R\xC3\xA9sum\xC3\xA9", true}, {3, "x", false}}},
        FileCase{"ByteOrderMarkOnlyAtTheStart", "0,a\n\xEF\xBB\xBF" "1,b\n",
                 {{0, "a", false}, {0, "b", false}}},
        FileCase{"ByteOrderMarkAlone", "\xEF\xBB\xBF", {}},
        FileCase{"ShortFileWithoutMark", "7", {{7, "", false}}},
        FileCase{"MalformedBytesShowAsReplacement", "0,caf\xE9 au lait\n0,a\xED\xA0\x80z\n0,\xF0\x9F\x98\n",
                 {{0, "caf\xEF\xBF\xBD au lait", false},
                  {0, "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz", false},
                  {0, "\xEF\xBF\xBD", false}}},
        FileCase{"CrLfAcrossLines", "0,a\r\n\r\n0,b\r\r\n", {{0, "a", false}, {0, "", false}, {0, "b", false}, {0, "", false}}},
        line_ends_everywhere(),
        FileCase{"Empty", "", {}},
        FileCase{"Missing", std::nullopt, {}}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

// A FIFO never makes the reader wait: without a writer, or without data, it
// reports Blocked; lines come as they are written, the last one once the
// writer has gone.
TEST(TemplateReaderFifo, ReportsBlockedUntilTheWriterHasWrittenAndGone) {
  test_support::ScratchFolder folder{TREE_TEST_SCRATCH};
  // The template is read by its name alone, from the current folder.
  const test_support::CurrentFolder here{folder.path()};
  ASSERT_EQ(mkfifo(TemplateFileName, 0600), 0);
  TemplateReader reader;
  ASSERT_TRUE(reader.open(TemplateFileName));
  EXPECT_EQ(reader.size(), -1);
  std::vector<Node> nodes;
  const auto add = [&nodes](const TemplateLine& line) { nodes.push_back(kept(line)); };
  EXPECT_EQ(reader.read(100, add), TemplateReader::Status::Blocked) << "no writer yet";

  const int writer = open(TemplateFileName, O_WRONLY | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  EXPECT_EQ(reader.read(100, add), TemplateReader::Status::Blocked) << "a writer, no data";
  const std::string first = "\xEF\xBB\xBF" "0,a/\n1,b";
  ASSERT_EQ(write(writer, first.data(), first.size()), static_cast<ssize_t>(first.size()));
  EXPECT_EQ(reader.read(100, add), TemplateReader::Status::More);
  EXPECT_EQ(nodes, (std::vector<Node>{{0, "a", true}}));
  EXPECT_EQ(reader.read(100, add), TemplateReader::Status::Blocked) << "half a line";
  const std::string rest = ",c\r";
  ASSERT_EQ(write(writer, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  close(writer);
  EXPECT_EQ(reader.read(100, add), TemplateReader::Status::End);
  EXPECT_EQ(nodes, (std::vector<Node>{{0, "a", true}, {1, "b,c", false}}));
  EXPECT_EQ(reader.descriptor(), -1);
}

}  // namespace
