// treeviewer as a screen reader meets it: started with the accessibility
// bridge on a private AT-SPI bus, its objects read over the bus from this
// process. The tree bears the window's title, the find entry is "Find", a
// folder's icon is described as "folder", the tree is busy while the
// template is read, and none of this makes the program print a word.
#include <gtest/gtest.h>

#include <dbus/dbus.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/atspi_reader.h"
#include "tests/atspi_session.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/x_client_message.h"
#include "tests/viewer_process.h"
#include "tests/x_inspect.h"

// Last: the X headers' macros clash with the test framework's names.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using namespace std::chrono_literals;
using namespace atspi_test;
namespace fs = std::filesystem;

constexpr char Title[] = "Family archive";
constexpr char Settings[] = "40\n30\n400\n300\n0\n0\nFamily archive\n";

// A deadline for what a loaded machine does in well under a second.
constexpr auto Patience = 30s;

class TreeviewerAccessibilityTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(x) << "no X display";
    if (session.missing()) GTEST_SKIP() << session.problem();
    ASSERT_TRUE(session.ready()) << session.problem();
  }

  // The program's window, and its application on the bus.
  struct Started {
    Window window = 0;
    Accessible application;
  };

  std::optional<Started> start(ViewerProcess& viewer) {
    const std::vector<Window> windows = viewer_windows(x.get(), viewer);
    if (windows.size() != 1) {
      problem = std::to_string(windows.size()) + " windows; output: " + viewer.output();
      return std::nullopt;
    }
    Started started{windows.front(), application_of(viewer.pid(), Patience)};
    if (!started.application) {
      problem = "the program never came onto the accessibility bus; output: " + viewer.output();
      return std::nullopt;
    }
    // The keyboard goes to it, as a window manager would arrange.
    XSetInputFocus(x.get(), started.window, RevertToParent, CurrentTime);
    XSync(x.get(), False);
    return started;
  }

  Accessible tree_of(const Started& started) {
    return wait_for_object(started.application.get(), with_role("tree table"), Patience);
  }

  // Closes the window as a window manager does; the program must end with
  // status 0 having printed nothing.
  // The find entry once it shows, opened with Ctrl+F. The keys go to the
  // tree only once it holds the keyboard, with its cursor on the first row:
  // that is when Ctrl+C copies `first_row`. The tree is on the bus before
  // that, and a key sent then would find nothing to take it.
  Accessible shown_find_entry(const Started& started, const std::string& first_row) {
    const bool keyboard = x_inspect::wait_until(
        [&] {
          x_inspect::press_key(x.get(), XK_c, ControlMask);
          return x_inspect::answers_ping(x.get(), started.window, Patience) &&
                 x_inspect::clipboard_text(x.get(), Patience) == first_row;
        },
        Patience);
    if (!keyboard) {
      problem = "the tree never held the keyboard with \"" + first_row + "\" under its cursor";
      return {};
    }
    x_inspect::press_key(x.get(), XK_f, ControlMask);
    Accessible entry = wait_for_object(
        started.application.get(),
        [](AtspiAccessible* object) { return name_of(object) == "Find" && states_of(object).count("showing") > 0; },
        Patience);
    if (!entry) problem = "no entry named Find came up";
    return entry;
  }

  void close_and_expect_silence(ViewerProcess& viewer, Window window) {
    test_support::send_delete_window(x.get(), window);
    EXPECT_EQ(viewer.exit_status(), 0);
    EXPECT_EQ(viewer.output(), "");
  }

  // The process's bus outlives every program the tests start.
  AtspiSession& session = AtspiSession::shared();
  test_support::ScratchFolder folder{TREE_TEST_SCRATCH};
  x_inspect::Connection x;
  std::string problem;
};

// What a reader hears of every row of a template: its text and, for a
// folder, the described icon; a file's row has an image cell with nothing
// in it.
std::vector<RowReading> rows_heard(const std::vector<std::string>& lines) {
  std::vector<RowReading> rows;
  for (const std::string& line : lines) {
    const bool folder = !line.empty() && line.back() == '/';
    std::string text = line.substr(line.find(',') + 1);
    if (folder) text.pop_back();
    rows.push_back({text, folder ? ImageReading{"folder", 16, 16} : ImageReading{std::nullopt, -1, -1}});
  }
  return rows;
}

// The rows as a set: the table lists the rows in sight before those inside
// closed folders, in an order of its own.
std::vector<RowReading> sorted(std::vector<RowReading> rows) {
  std::sort(rows.begin(), rows.end(), [](const RowReading& a, const RowReading& b) {
    const auto key = [](const RowReading& row) {
      return std::make_tuple(row.text, row.icon.has_value(),
                             row.icon ? row.icon->description.value_or("") : std::string());
    };
    return key(a) < key(b);
  });
  return rows;
}

struct TemplateCase {
  const char* name;
  std::vector<std::string> lines;
};

void PrintTo(const TemplateCase& test, std::ostream* out) { *out << test.name; }

class TreeviewerRowsHeardTest : public TreeviewerAccessibilityTest,
                               public testing::WithParamInterface<TemplateCase> {};

// Every row is read, those inside closed folders too, and the program stays
// silent throughout (rows without an icon used to print GdkPixbuf-CRITICAL).
TEST_P(TreeviewerRowsHeardTest, EveryRowIsReadAndFoldersAreSaidToBeFolders) {
  const TemplateCase& test = GetParam();
  std::string text;
  for (const std::string& line : test.lines) text += line + "\n";
  folder.write("tree_window.ini", Settings);
  folder.write("tree_display_template.txt", text);
  ViewerProcess viewer(folder.path());
  const std::optional<Started> started = start(viewer);
  ASSERT_TRUE(started) << problem;
  const Accessible tree = tree_of(*started);
  ASSERT_TRUE(tree) << "no tree table; output: " << viewer.output();
  EXPECT_EQ(name_of(tree.get()), Title);

  const std::vector<RowReading> expected = sorted(rows_heard(test.lines));
  std::vector<RowReading> rows;
  x_inspect::wait_until([&] { return (rows = rows_of(tree.get())).size() >= expected.size(); }, Patience);
  EXPECT_EQ(sorted(rows), expected);
  // A second reading asks every cell again.
  EXPECT_EQ(sorted(rows_of(tree.get())), expected);
  close_and_expect_silence(viewer, started->window);
}

INSTANTIATE_TEST_SUITE_P(
    Treeviewer, TreeviewerRowsHeardTest,
    testing::Values(
        TemplateCase{"folders and files",
                     {"0,Music/", "1,song.ogg", "1,Live/", "2,gig.ogg", "0,readme.txt", "0,Empty/"}},
        TemplateCase{"files only", {"0,a.txt", "0,b.txt", "1,c.txt"}},
        TemplateCase{"folders only, nested", {"0,One/", "1,Two/", "2,Three/", "3,Four/"}},
        TemplateCase{"names with commas and spaces", {"0,Smith, John/", "1,letter 1.txt"}}));

// Ctrl+F shows the find entry, named "Find" and holding the keyboard;
// Escape hides it again.
TEST_F(TreeviewerAccessibilityTest, FindEntryIsNamedFind) {
  folder.write("tree_window.ini", Settings);
  folder.write("tree_display_template.txt", "0,Alpha/\n1,inner.txt\n0,Beta\n");
  ViewerProcess viewer(folder.path());
  const std::optional<Started> started = start(viewer);
  ASSERT_TRUE(started) << problem;
  ASSERT_TRUE(tree_of(*started)) << viewer.output();

  const Accessible entry = shown_find_entry(*started, "Alpha");
  ASSERT_TRUE(entry) << problem;
  EXPECT_EQ(role_of(entry.get()), "text");
  const std::set<std::string> states = states_of(entry.get());
  EXPECT_TRUE(states.count("editable")) << testing::PrintToString(states);
  EXPECT_TRUE(states.count("focused")) << testing::PrintToString(states);
  EXPECT_FALSE(states.count("invalid-entry")) << testing::PrintToString(states);

  x_inspect::press_key(x.get(), XK_Escape);
  EXPECT_TRUE(x_inspect::wait_until([&] { return states_of(entry.get()).count("showing") == 0; },
                                    Patience))
      << testing::PrintToString(states_of(entry.get()));
  EXPECT_EQ(name_of(entry.get()), "Find");
  close_and_expect_silence(viewer, started->window);
}

// A find text that matches no row makes the entry an "invalid entry" for as
// long as it matches nothing. (The find bar marks it with
// tree::set_entry_invalid.)
TEST_F(TreeviewerAccessibilityTest, EntryIsInvalidWhileItsTextMatchesNothing) {
  folder.write("tree_window.ini", Settings);
  folder.write("tree_display_template.txt", "0,Alpha/\n1,inner.txt\n0,Beta\n");
  ViewerProcess viewer(folder.path());
  const std::optional<Started> started = start(viewer);
  ASSERT_TRUE(started) << problem;
  ASSERT_TRUE(tree_of(*started)) << viewer.output();

  const Accessible entry = shown_find_entry(*started, "Alpha");
  ASSERT_TRUE(entry) << problem;
  const auto invalid = [&] { return states_of(entry.get()).count("invalid-entry") > 0; };

  x_inspect::type_text(x.get(), "inn");
  ASSERT_TRUE(x_inspect::answers_ping(x.get(), started->window, Patience));
  EXPECT_FALSE(invalid()) << "\"inn\" matches inner.txt";
  x_inspect::type_text(x.get(), "zz");
  EXPECT_TRUE(x_inspect::wait_until(invalid, Patience)) << "\"innzz\" matches nothing";
  x_inspect::press_key(x.get(), XK_BackSpace);
  x_inspect::press_key(x.get(), XK_BackSpace);
  EXPECT_TRUE(x_inspect::wait_until([&] { return !invalid(); }, Patience))
      << "\"inn\" matches again";
  x_inspect::press_key(x.get(), XK_Escape);
  close_and_expect_silence(viewer, started->window);
}

// While the template is being read the tree is busy, and it is busy no
// more once the writer has closed it and every row is in. (The loader marks
// the tree busy with tree::set_tree_busy.)
TEST_F(TreeviewerAccessibilityTest, TreeIsBusyWhileTheTemplateIsRead) {
  folder.write("tree_window.ini", Settings);
  const fs::path fifo = folder.path() / "tree_display_template.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ViewerProcess viewer(folder.path());
  const std::optional<Started> started = start(viewer);
  ASSERT_TRUE(started) << problem;
  const Accessible tree = tree_of(*started);
  ASSERT_TRUE(tree) << viewer.output();

  // The writer's end, closed however the test ends.
  struct Writer {
    ~Writer() {
      if (fd >= 0) close(fd);
    }
    int fd = -1;
  } writer;
  // Without waiting, a FIFO opens for writing only once a reader holds it.
  ASSERT_TRUE(x_inspect::wait_until(
      [&] { return (writer.fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }, Patience))
      << "the viewer never opened the FIFO for reading";
  const std::string first = "0,alpha/\n1,alpha child\n0,beta\n";
  ASSERT_EQ(write(writer.fd, first.data(), first.size()), static_cast<ssize_t>(first.size()));
  // The rows written so far show while the writer keeps the FIFO open.
  EXPECT_TRUE(x_inspect::wait_until([&] { return rows_of(tree.get()).size() == 3; }, Patience))
      << testing::PrintToString(rows_of(tree.get()));
  EXPECT_TRUE(states_of(tree.get()).count("busy")) << testing::PrintToString(states_of(tree.get()));

  const std::string rest = "0,gamma\n";
  ASSERT_EQ(write(writer.fd, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  close(std::exchange(writer.fd, -1));
  EXPECT_TRUE(x_inspect::wait_until([&] { return states_of(tree.get()).count("busy") == 0; }, Patience))
      << testing::PrintToString(states_of(tree.get()));
  EXPECT_EQ(sorted(rows_of(tree.get())),
            sorted(rows_heard({"0,alpha/", "1,alpha child", "0,beta", "0,gamma"})));
  close_and_expect_silence(viewer, started->window);
}

// The session itself: whatever it started has ended with it, its bus takes
// no more connections, and the environment is as it was.
TEST(AtspiSessionTest, EndsEverythingItStarted) {
  const char* before = std::getenv("GTK_MODULES");
  const std::optional<std::string> modules = before ? std::optional<std::string>(before) : std::nullopt;
  // Tests run one to a process (ctest); run together, another test has
  // made the process's one session already.
  if (AtspiSession::made_before()) GTEST_SKIP() << "this process has made its AT-SPI session already";
  std::vector<pid_t> started;
  std::string address;
  {
    AtspiSession session;
    if (session.missing()) GTEST_SKIP() << session.problem();
    ASSERT_TRUE(session.ready()) << session.problem();
    started = session.processes();
    address = session.address();
    EXPECT_EQ(started.size(), 2u);
    EXPECT_STREQ(std::getenv("GTK_MODULES"), "gail:atk-bridge");
    EXPECT_STREQ(std::getenv("AT_SPI_BUS_ADDRESS"), address.c_str());
    // The registry answers on the bus: the desktop is there.
    const Accessible desktop = Accessible::adopt(atspi_get_desktop(0));
    ASSERT_TRUE(desktop);
    EXPECT_EQ(role_of(desktop.get()), "desktop frame");
  }
  for (const pid_t pid : started) EXPECT_TRUE(process_gone(pid)) << pid;
  // The bus's socket is gone: nothing can connect.
  struct Attempt {
    Attempt() { dbus_error_init(&error); }
    ~Attempt() {
      if (connection) {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
      }
      dbus_error_free(&error);
    }
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;
    DBusError error;
    DBusConnection* connection = nullptr;
  } attempt;
  attempt.connection = dbus_connection_open_private(address.c_str(), &attempt.error);
  EXPECT_EQ(attempt.connection, nullptr) << address;
  const char* after = std::getenv("GTK_MODULES");
  EXPECT_EQ(after ? std::optional<std::string>(after) : std::nullopt, modules);
}

}  // namespace
