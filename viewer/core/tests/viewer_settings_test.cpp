#include "core/viewer_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include <optional>
#include <ostream>
#include <string>

#include "runtime/text_file.h"
#include "runtime/utf8.h"
#include "tests/support/current_folder.h"
#include "tests/support/scratch_folder.h"

using namespace core;

void PrintTo(const ViewerSettings& settings, std::ostream* out) {
  *out << "{x " << settings.x << ", y " << settings.y << ", width " << settings.width << ", height "
       << settings.height << ", keep_above " << settings.keep_above << ", borderless "
       << settings.borderless << ", title \"" << runtime::encode_utf8(settings.title) << "\"}";
}

namespace {

struct SettingsCase {
  const char* name;
  std::optional<std::string> file;  // nothing: no settings file at all
  ViewerSettings expected;
};

void PrintTo(const SettingsCase& test, std::ostream* out) { *out << test.name; }

const ViewerSettings my_tree{100, 50, 400, 300, true, false, u"My tree"};

// The file of my_tree with line `index` (0-based) replaced.
std::string my_tree_with(int index, const std::string& line) {
  std::string lines[7] = {"100", "50", "400", "300", "1", "0", "My tree"};
  lines[index] = line;
  std::string file;
  for (const auto& each : lines) file += each + "\n";
  return file;
}

ViewerSettings my_tree_where(void (*change)(ViewerSettings&)) {
  ViewerSettings settings = my_tree;
  change(settings);
  return settings;
}

class ViewerSettingsTest : public testing::TestWithParam<SettingsCase> {
 protected:
  void SetUp() override { runtime::init_files(); }
  test_support::ScratchFolder folder{TREE_TEST_SCRATCH};
  // The settings file is read by its name alone, from the current folder.
  const test_support::CurrentFolder here{folder.path()};
};

TEST_P(ViewerSettingsTest, ReadsTheSevenLines) {
  const SettingsCase& test = GetParam();
  if (test.file) folder.write("tree_window.ini", *test.file);
  EXPECT_EQ(read_viewer_settings(), test.expected);
  // No file is left open: a further read of file 1 finds nothing, even when
  // the settings file holds more lines.
  EXPECT_EQ(runtime::read_line(1), u"");
}

const auto borderless_on = [](ViewerSettings& s) { s.borderless = true; };
const auto keep_above_off = [](ViewerSettings& s) { s.keep_above = false; };

INSTANTIATE_TEST_SUITE_P(
    Files, ViewerSettingsTest,
    testing::Values(
        SettingsCase{"Complete", "100\n50\n400\n300\n1\n0\nMy tree\n", my_tree},
        SettingsCase{"CrLf", "100\r\n50\r\n400\r\n300\r\n1\r\n0\r\nMy tree\r\n", my_tree},
        SettingsCase{"LoneCr", "100\r50\r400\r300\r1\r0\rMy tree\r", my_tree},
        SettingsCase{"NoFinalTerminator", "100\n50\n400\n300\n1\n0\nMy tree", my_tree},
        SettingsCase{"ZeroByteEndsALine", std::string("100\n50\n400\n300") + '\0' + "1\n0\nMy tree\n",
                     my_tree},
        SettingsCase{"LinesAfterTheSeventhIgnored", "100\n50\n400\n300\n1\n0\nMy tree\n8\n9\n", my_tree},
        SettingsCase{"OnlyThreeLines", "100\n50\n400\n", {100, 50, 400, 0, false, false, u""}},
        SettingsCase{"Empty", "", {}},
        SettingsCase{"Missing", std::nullopt, {}},
        SettingsCase{"BorderlessOne", my_tree_with(5, "1"), my_tree_where(borderless_on)},
        SettingsCase{"BorderlessBlankOne", my_tree_with(5, " 1"), my_tree_where(borderless_on)},
        SettingsCase{"BorderlessTabOne", my_tree_with(5, "\t1"), my_tree_where(borderless_on)},
        SettingsCase{"BorderlessPlusOne", my_tree_with(5, "+1"), my_tree_where(borderless_on)},
        SettingsCase{"BorderlessZeroOne", my_tree_with(5, "01"), my_tree_where(borderless_on)},
        SettingsCase{"BorderlessOnePointZero", my_tree_with(5, "1.0"), my_tree_where(borderless_on)},
        SettingsCase{"BorderlessHexOne", my_tree_with(5, "$1"), my_tree_where(borderless_on)},
        SettingsCase{"BorderlessBinaryOne", my_tree_with(5, "%1"), my_tree_where(borderless_on)},
        SettingsCase{"BorderlessTwo", my_tree_with(5, "2"), my_tree},
        SettingsCase{"BorderlessTrue", my_tree_with(5, "true"), my_tree},
        SettingsCase{"BorderlessYes", my_tree_with(5, "yes"), my_tree},
        SettingsCase{"BorderlessEmpty", my_tree_with(5, ""), my_tree},
        SettingsCase{"BorderlessMinusOne", my_tree_with(5, "-1"), my_tree},
        SettingsCase{"BorderlessTwoToThe32Plus1", my_tree_with(5, "4294967297"), my_tree_where(borderless_on)},
        SettingsCase{"KeepAboveZero", my_tree_with(4, "0"), my_tree_where(keep_above_off)},
        SettingsCase{"KeepAboveTrue", my_tree_with(4, "true"), my_tree_where(keep_above_off)},
        SettingsCase{"KeepAboveBlankPlusOne", my_tree_with(4, " +1"), my_tree},
        SettingsCase{"KeepAboveHex", my_tree_with(4, "$01x"), my_tree},
        SettingsCase{"XTwoToThe32Plus1", my_tree_with(0, "4294967297"),
                     my_tree_where([](ViewerSettings& s) { s.x = 1; })},
        SettingsCase{"XNegative", my_tree_with(0, "-5"), my_tree_where([](ViewerSettings& s) { s.x = -5; })},
        SettingsCase{"YHex", my_tree_with(1, "$ff"), my_tree_where([](ViewerSettings& s) { s.y = 255; })},
        SettingsCase{"WidthBinary", my_tree_with(2, "%101"),
                     my_tree_where([](ViewerSettings& s) { s.width = 5; })},
        SettingsCase{"HeightTrailingText", my_tree_with(3, " \t42px"),
                     my_tree_where([](ViewerSettings& s) { s.height = 42; })},
        SettingsCase{"HeightTwoToThe31", my_tree_with(3, "2147483648"),
                     my_tree_where([](ViewerSettings& s) { s.height = INT32_MIN; })},
        SettingsCase{"ByteOrderMarkIsSkipped", "\xEF\xBB\xBF" + my_tree_with(0, "100"), my_tree},
        SettingsCase{"ByteOrderMarkOnlyAtTheStart", my_tree_with(1, "\xEF\xBB\xBF" "50"),
                     my_tree_where([](ViewerSettings& s) { s.y = 0; })},
        SettingsCase{"TitleVerbatim", my_tree_with(6, "  My, tree/ \t"),
                     my_tree_where([](ViewerSettings& s) { s.title = u"  My, tree/ \t"; })},
        SettingsCase{"TitleUtf8", my_tree_with(6, "B\xC3\xA4ume \xE2\x82\xAC \xF0\x9F\x98\x80"),
                     my_tree_where([](ViewerSettings& s) { s.title = u"B\u00E4ume \u20AC \U0001F600"; })},
        SettingsCase{"TitleMalformedUtf8ShowsReplacement", my_tree_with(6, "ab\x80z caf\xE9 au lait"),
                     my_tree_where([](ViewerSettings& s) { s.title = u"ab\uFFFDz caf\uFFFD au lait"; })},
        SettingsCase{"TitleEncodedSurrogate", my_tree_with(6, "a\xED\xA0\x80z"),
                     my_tree_where([](ViewerSettings& s) { s.title = u"a\uFFFD\uFFFD\uFFFDz"; })}),
    [](const testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

TEST(ViewerSettingsParse, KeepsTheLowThirtyTwoBitsOfEveryNumber) {
  const ViewerSettings settings = parse_viewer_settings(
      {u"-4294967297", u"$100000007", u"%10000000000000000000000000000000011", u"-1", u"$100000001",
       u"4294967297", u"t"});
  EXPECT_EQ(settings, (ViewerSettings{-1, 7, 3, -1, true, true, u"t"}));
}

// Only a regular file is read: a FIFO without a writer would hold the start
// up for ever, and a folder has no lines.
TEST(ViewerSettingsSpecialFiles, FifoAndFolderReadAsMissing) {
  runtime::init_files();
  test_support::ScratchFolder folder{TREE_TEST_SCRATCH};
  // The settings file is read by its name alone, from the current folder.
  const test_support::CurrentFolder here{folder.path()};
  ASSERT_EQ(mkfifo((folder.path() / "tree_window.ini").c_str(), 0600), 0);
  EXPECT_EQ(read_viewer_settings(), ViewerSettings{});
  std::filesystem::remove(folder.path() / "tree_window.ini");
  std::filesystem::create_directory(folder.path() / "tree_window.ini");
  EXPECT_EQ(read_viewer_settings(), ViewerSettings{});
}

}  // namespace
