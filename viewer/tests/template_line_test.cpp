#include "template_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "scratch_folder.h"
#include "text_file.h"
#include "utf8.h"

bool operator==(const TemplateLine& a, const TemplateLine& b) {
  return a.level == b.level && a.text == b.text && a.folder == b.folder;
}

void PrintTo(const TemplateLine& line, std::ostream* out) {
  *out << "{level " << line.level << ", text \"" << encode_utf8(line.text) << "\", "
       << (line.folder ? "folder" : "plain") << "}";
}

namespace {

struct LineCase {
  const char* name;
  std::u16string line;
  TemplateLine expected;
};

void PrintTo(const LineCase& test, std::ostream* out) { *out << test.name; }

class TemplateLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(TemplateLineTest, Parses) {
  EXPECT_EQ(parse_template_line(GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TemplateLineTest,
    testing::Values(
        LineCase{"Plain", u"0,Root", {0, u"Root", false}},
        LineCase{"Folder", u"1,Docs/", {1, u"Docs", true}},
        LineCase{"Empty", u"", {0, u"", false}},
        LineCase{"NoComma", u"Docs", {0, u"", false}},
        LineCase{"LevelOnly", u"2", {2, u"", false}},
        LineCase{"SecondCommaDropsTheRest", u"1,a,b", {1, u"a", false}},
        LineCase{"FolderWithSecondCommaLosesLastOfField2", u"1,a,b/", {1, u"", true}},
        LineCase{"SlashInsideField2", u"1,a/,b", {1, u"a/", false}},
        LineCase{"SlashOnly", u"/", {0, u"", true}},
        LineCase{"FolderWithEmptyText", u"1,/", {1, u"", true}},
        LineCase{"TrailingBlankIsNoFolder", u"1,Docs/ ", {1, u"Docs/ ", false}},
        LineCase{"BlanksAroundLevel", u" 3 ,x", {3, u"x", false}},
        LineCase{"NonNumericLevel", u"x3,y", {0, u"y", false}},
        LineCase{"NegativeLevel", u"-1,x", {-1, u"x", false}},
        LineCase{"HexLevel", u"$A,x", {10, u"x", false}},
        LineCase{"BinaryLevel", u"%11,x", {3, u"x", false}},
        LineCase{"LevelKeepsLow32Bits", u"4294967298,x", {2, u"x", false}},
        LineCase{"ByteOrderMarkHidesLevel", u"\uFEFF1,x", {0, u"x", false}},
        LineCase{"EmptyField2Folder", u"1,,/", {1, u"", true}},
        LineCase{"SurrogatePairFolderLosesOnlyTheSlash", u"1,\U0001F600/", {1, u"\U0001F600", true}},
        LineCase{"SurrogatePairIsCutInHalfWhenLast", u"1,a\U0001F600,b/", {1, u"a\xD83D", true}}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

struct FileCase {
  const char* name;
  std::optional<std::string> file;  // nothing: no template file
  std::vector<TemplateLine> expected;
};

void PrintTo(const FileCase& test, std::ostream* out) { *out << test.name; }

class TemplateFileTest : public testing::TestWithParam<FileCase> {
 protected:
  void SetUp() override { init_files(); }
  ScratchFolder folder;
};

TEST_P(TemplateFileTest, GivesOneNodePerLine) {
  const FileCase& test = GetParam();
  if (test.file) folder.write("tree_display_template.txt", *test.file);
  std::vector<TemplateLine> nodes;
  read_template([&nodes](const TemplateLine& line) { nodes.push_back(line); });
  EXPECT_EQ(nodes, test.expected);
  // The template is closed afterwards: an open file at its end would report 1.
  EXPECT_EQ(at_eof(0), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TemplateFileTest,
    testing::Values(
        FileCase{"RootAndFolder", "0,Root\n1,Docs/\n", {{0, u"Root", false}, {1, u"Docs", true}}},
        FileCase{"CrLf", "0,Root\r\n1,Docs/\r\n", {{0, u"Root", false}, {1, u"Docs", true}}},
        FileCase{"LoneCr", "0,Root\r1,Docs/\r", {{0, u"Root", false}, {1, u"Docs", true}}},
        FileCase{"LastLineWithoutTerminator", "0,Root\n1,Docs/", {{0, u"Root", false}, {1, u"Docs", true}}},
        FileCase{"EmptyLinesAreNodes", "0,a\n\n\n1,b\n",
                 {{0, u"a", false}, {0, u"", false}, {0, u"", false}, {1, u"b", false}}},
        FileCase{"SingleLineEnd", "\n", {{0, u"", false}}},
        FileCase{"ZeroByteSplitsALine", std::string("0,a") + '\0' + "1,b/\n", {{0, u"a", false}, {1, u"b", true}}},
        FileCase{"ByteOrderMark", "\xEF\xBB\xBF" "2,R\xC3\xA9sum\xC3\xA9/\n3,x\n",
                 {{0, u"R\u00E9sum\u00E9", true}, {3, u"x", false}}},
        FileCase{"Empty", "", {}},
        FileCase{"Missing", std::nullopt, {}}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

}  // namespace
