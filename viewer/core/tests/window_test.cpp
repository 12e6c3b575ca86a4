#include "core/window.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "core/event_queue.h"
#include "tests/toolkit_log.h"
#include "tests/wait_guard.h"
#include "tests/window_event_print.h"
#include "widgets/widget.h"
#include "tests/x_inspect.h"
#include "tests/support/x_client_message.h"

using namespace core;
using namespace widgets;

namespace {

using namespace std::chrono_literals;
using x_inspect::Geometry;

Window xid_of(GtkWidget* widget) { return GDK_WINDOW_XID(gtk_widget_get_window(widget)); }

int object_int(GtkWidget* widget, const char* key) {
  return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), key));
}

bool contains(const std::vector<WindowEvent>& events, const WindowEvent& wanted) {
  return std::find(events.begin(), events.end(), wanted) != events.end();
}

bool contains_type(const std::vector<WindowEvent>& events, int32_t type) {
  return std::any_of(events.begin(), events.end(), [type](const WindowEvent& e) { return e.type == type; });
}

class WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(x) << "no X display";
    init_event_queue();
    init_windows();
    init_widgets();
    flush_toolkit_events();
  }

  void TearDown() override {
    release_windows();
    EXPECT_EQ(log.messages(), std::vector<std::string>{});
  }

  // Opens a window and waits until the X server shows it (unless hidden).
  GtkWidget* open(int32_t number, int x_pos, int y_pos, int width, int height, uint32_t flags,
                  std::u16string_view title = u"Test", GtkWindow* parent = nullptr) {
    const intptr_t result = open_window(number, x_pos, y_pos, width, height, title, flags, parent);
    GtkWidget* window = window_widget(number);
    EXPECT_NE(result, 0);
    if (window && !(flags & (WindowFlags::Hidden | WindowFlags::StartMinimized))) {
      EXPECT_TRUE(x_inspect::wait_until([&] { return x_inspect::is_viewable(x.get(), xid_of(window)); },
                                        5s, flush_toolkit_events));
    }
    return window;
  }

  // Sends the test's own requests and lets the toolkit read and handle
  // everything the X server has sent so far.
  void settle() {
    gdk_flush();
    XSync(x.get(), False);
    XSync(GDK_DISPLAY_XDISPLAY(gdk_display_get_default()), False);
    flush_toolkit_events();
  }

  std::vector<WindowEvent> take_all() {
    settle();
    std::vector<WindowEvent> events;
    for (WindowEvent e = take_event(); e.type != 0; e = take_event()) events.push_back(e);
    return events;
  }

  // Lets the toolkit work until an event that `wanted` accepts has been
  // taken; returns every event taken on the way (empty on timeout).
  std::vector<WindowEvent> take_until(const std::function<bool(const WindowEvent&)>& wanted,
                                      std::chrono::milliseconds timeout = 5s) {
    std::vector<WindowEvent> events;
    bool found = false;
    x_inspect::wait_until(
        [&] {
          for (WindowEvent e = take_event(); e.type != 0; e = take_event()) {
            events.push_back(e);
            found = found || wanted(e);
          }
          return found;
        },
        timeout, [&] { settle(); });
    return found ? events : std::vector<WindowEvent>{};
  }
  std::vector<WindowEvent> take_until(const WindowEvent& wanted) {
    return take_until([&](const WindowEvent& e) { return e == wanted; });
  }

  std::optional<Geometry> geometry(GtkWidget* window) { return x_inspect::geometry(x.get(), xid_of(window)); }

  ToolkitLog log;
  x_inspect::Connection x;
};

// Decorations and functions as the window manager reads them.
struct FlagsCase {
  const char* name;
  uint32_t flags;
  long decorations;
  long functions;
};

void PrintTo(const FlagsCase& test, std::ostream* out) { *out << test.name; }

class WindowFlagsTest : public WindowTest, public testing::WithParamInterface<FlagsCase> {};

TEST_P(WindowFlagsTest, SetsMotifDecorationsAndFunctions) {
  GtkWidget* window = open(0, 40, 40, 300, 200, GetParam().flags);
  ASSERT_NE(window, nullptr);
  const auto hints = x_inspect::motif_hints(x.get(), xid_of(window));
  ASSERT_TRUE(hints);
  EXPECT_EQ(hints->flags & 0x3, 0x3);
  EXPECT_EQ(hints->decorations, GetParam().decorations);
  EXPECT_EQ(hints->functions, GetParam().functions);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, WindowFlagsTest,
    testing::Values(
        FlagsCase{"None", 0, 0xa, 0x24},
        FlagsCase{"ViewerTitleBar", WindowFlags::TitleBar, 0x1a, 0x24},
        FlagsCase{"ViewerBorderless", WindowFlags::TitleBar | WindowFlags::Borderless, 0, 0x24},
        FlagsCase{"Resizable", WindowFlags::Resizable, 0xe, 0x26},
        FlagsCase{"MaximizeButton", WindowFlags::MaximizeButton, 0x4a, 0x34},
        FlagsCase{"MinimizeButton", WindowFlags::MinimizeButton, 0x2a, 0x2c},
        FlagsCase{"AllButtons", WindowFlags::TitleBar | WindowFlags::MaximizeButton | WindowFlags::MinimizeButton, 0x7a, 0x3c},
        FlagsCase{"ResizableWithAll", WindowFlags::Resizable | WindowFlags::TitleBar | WindowFlags::MaximizeButton | WindowFlags::MinimizeButton, 0x7e, 0x3e},
        FlagsCase{"BorderlessKeepsFunctions", WindowFlags::Borderless | WindowFlags::Resizable | WindowFlags::MaximizeButton | WindowFlags::MinimizeButton, 0,
                  0x3e},
        FlagsCase{"ToolWindowDropsButtons", WindowFlags::ToolWindow | WindowFlags::TitleBar | WindowFlags::MaximizeButton | WindowFlags::MinimizeButton, 0x1a,
                  0x24},
        FlagsCase{"BitsWithoutEffect", 0x8 | 0x2000 | 0x80000000u, 0xa, 0x24}),
    [](const testing::TestParamInfo<FlagsCase>& info) { return std::string(info.param.name); });

// Whether the X server still has the window once every request of the
// toolkit's own connection has reached it (a destroy is only queued there).
bool server_has_window(Display* display, Window xid) {
  gdk_flush();
  return x_inspect::window_exists(display, xid);
}

TEST_F(WindowTest, FixedSizeWindowSitsWhereAskedAndCannotBeResized) {
  GtkWidget* window = open(0, 100, 50, 400, 300, WindowFlags::TitleBar, u"My tree");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(geometry(window), (Geometry{100, 50, 400, 300}));
  const auto hints = x_inspect::size_hints(x.get(), xid_of(window));
  ASSERT_TRUE(hints);
  EXPECT_EQ(hints->flags & (PMinSize | PMaxSize), PMinSize | PMaxSize);
  EXPECT_EQ(hints->min_width, 400);
  EXPECT_EQ(hints->min_height, 300);
  EXPECT_EQ(hints->max_width, 400);
  EXPECT_EQ(hints->max_height, 300);
}

TEST_F(WindowTest, ResizableWindowTakesTheSizeAsDefaultAndAMinimumOf30) {
  GtkWidget* window = open(0, 100, 50, 400, 300, WindowFlags::Resizable);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(geometry(window), (Geometry{100, 50, 400, 300}));
  const auto hints = x_inspect::size_hints(x.get(), xid_of(window));
  ASSERT_TRUE(hints);
  EXPECT_TRUE(hints->flags & PMinSize);
  EXPECT_FALSE(hints->flags & PMaxSize);
  EXPECT_EQ(hints->min_width, 30);
  EXPECT_EQ(hints->min_height, 30);
}

// Sizes that the toolkit does not take as they are: they reach it in the
// nearest form it accepts, without a word on standard error (the fixture
// checks the log) and without an X error (which would end the test).
struct SizeCase {
  const char* name;
  int width;
  int height;
  uint32_t flags;
  int shown_width;
  int shown_height;
};

void PrintTo(const SizeCase& test, std::ostream* out) { *out << test.name; }

class WindowSizeTest : public WindowTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(WindowSizeTest, ReachesTheToolkitInAFormItAccepts) {
  const SizeCase& test = GetParam();
  GtkWidget* window = open(0, 0, 0, test.width, test.height, test.flags);
  ASSERT_NE(window, nullptr);
  const auto shown = geometry(window);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->width, test.shown_width);
  EXPECT_EQ(shown->height, test.shown_height);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, WindowSizeTest,
    testing::Values(SizeCase{"Zero", 0, 0, WindowFlags::TitleBar, 1, 1},
                    SizeCase{"ZeroWidth", 0, 300, WindowFlags::TitleBar, 1, 300},
                    SizeCase{"MinusOne", -1, -1, WindowFlags::TitleBar, 1, 1},
                    SizeCase{"Negative", -20, -20, WindowFlags::TitleBar, 1, 1},
                    SizeCase{"NegativeWidthOnly", -20, 300, WindowFlags::TitleBar, 1, 300},
                    SizeCase{"WiderThanX", 40000, 300, WindowFlags::TitleBar, 32767, 300},
                    SizeCase{"WidthBeyondSixteenBits", 100000, 200, WindowFlags::TitleBar, 32767, 200},
                    SizeCase{"HeightBeyondSixteenBits", 200, 70000, WindowFlags::TitleBar, 200, 32767},
                    SizeCase{"ResizableNegative", -20, -20, WindowFlags::Resizable, 30, 30},
                    SizeCase{"ResizableBeyondSixteenBits", 100000, 200, WindowFlags::Resizable, 32767, 200}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

// The position as the toolkit keeps it for the window (its auxiliary
// information): -1 stands for "not set".
struct PositionCase {
  const char* name;
  int x;
  int y;
  uint32_t flags;
  int kept_x;
  int kept_y;
};

void PrintTo(const PositionCase& test, std::ostream* out) { *out << test.name; }

class WindowPositionTest : public WindowTest, public testing::WithParamInterface<PositionCase> {};

TEST_P(WindowPositionTest, ReachesTheToolkit) {
  const PositionCase& test = GetParam();
  GtkWidget* window = open(0, test.x, test.y, 100, 80, test.flags | WindowFlags::Hidden);
  ASSERT_NE(window, nullptr);
  const auto* kept = static_cast<GtkWidgetAuxInfo*>(g_object_get_data(G_OBJECT(window), "gtk-aux-info"));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->x_set ? kept->x : -1, test.kept_x);
  EXPECT_EQ(kept->y_set ? kept->y : -1, test.kept_y);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, WindowPositionTest,
    testing::Values(PositionCase{"AsGiven", 100, 50, WindowFlags::TitleBar, 100, 50},
                    PositionCase{"Origin", 0, 0, WindowFlags::TitleBar, 0, 0},
                    PositionCase{"NoPlaceForX", -65535, 77, WindowFlags::TitleBar, -1, -1},
                    PositionCase{"NoPlaceForY", 77, -65535, WindowFlags::TitleBar, -1, -1},
                    // Other negative values reach the toolkit as they are; it
                    // leaves a coordinate below -1 unset.
                    PositionCase{"NegativeX", -5, 40, WindowFlags::TitleBar, -1, 40},
                    PositionCase{"BeyondX", 100000, 40, WindowFlags::TitleBar, 32767, 40},
                    PositionCase{"ScreenCentered", 100, 50, WindowFlags::TitleBar | WindowFlags::ScreenCentered, -1, -1},
                    PositionCase{"ParentCenteredWithoutParent", 100, 50, WindowFlags::TitleBar | WindowFlags::ParentCentered, -1, -1}),
    [](const testing::TestParamInfo<PositionCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, PositionBeyondXIsCappedInsteadOfWrapping) {
  GtkWidget* window = open(0, 100000, 40, 100, 100, WindowFlags::TitleBar);
  ASSERT_NE(window, nullptr);
  const auto shown = geometry(window);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->x, 32767);
  EXPECT_EQ(shown->y, 40);
}

TEST_F(WindowTest, ScreenCenteredIgnoresThePosition) {
  GtkWidget* window = open(0, 5, 5, 400, 300, WindowFlags::ScreenCentered | WindowFlags::TitleBar);
  ASSERT_NE(window, nullptr);
  const int screen_width = DisplayWidth(x.get(), DefaultScreen(x.get()));
  const int screen_height = DisplayHeight(x.get(), DefaultScreen(x.get()));
  EXPECT_EQ(geometry(window), (Geometry{(screen_width - 400) / 2, (screen_height - 300) / 2, 400, 300}));
}

TEST_F(WindowTest, ParentCenteredSitsInTheMiddleOfTheParent) {
  GtkWidget* parent = open(0, 100, 100, 401, 301, WindowFlags::TitleBar);
  ASSERT_NE(parent, nullptr);
  GtkWidget* child = open(1, 5, 5, 200, 101, WindowFlags::ParentCentered | WindowFlags::TitleBar, u"Child", GTK_WINDOW(parent));
  ASSERT_NE(child, nullptr);
  // Halves truncate: 100 + 200 - 100 and 100 + 150 - 50.
  EXPECT_EQ(geometry(child), (Geometry{200, 200, 200, 101}));
  EXPECT_EQ(x_inspect::cardinals(x.get(), xid_of(child), "WM_TRANSIENT_FOR"),
            std::vector<long>{static_cast<long>(xid_of(parent))});
}

TEST_F(WindowTest, ParentCenteredWithoutParentIgnoresThePosition) {
  GtkWidget* window = open(0, 150, 150, 200, 100, WindowFlags::ParentCentered | WindowFlags::TitleBar);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(geometry(window), (Geometry{0, 0, 200, 100}));
  EXPECT_TRUE(x_inspect::cardinals(x.get(), xid_of(window), "WM_TRANSIENT_FOR").empty());
}

TEST_F(WindowTest, HiddenWindowIsNotShownUntilAsked) {
  GtkWidget* window = open(0, 10, 10, 100, 100, WindowFlags::Hidden | WindowFlags::TitleBar);
  ASSERT_NE(window, nullptr);
  settle();
  EXPECT_FALSE(x_inspect::is_viewable(x.get(), xid_of(window)));
  gtk_widget_show(window);
  EXPECT_TRUE(x_inspect::wait_until([&] { return x_inspect::is_viewable(x.get(), xid_of(window)); }, 5s,
                                    flush_toolkit_events));
}

TEST_F(WindowTest, ToolWindowIsAUtilityWindow) {
  GtkWidget* tool = open(0, 10, 10, 100, 100, WindowFlags::ToolWindow | WindowFlags::TitleBar);
  GtkWidget* plain = open(1, 200, 10, 100, 100, WindowFlags::TitleBar);
  ASSERT_NE(tool, nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(x_inspect::atom_names(x.get(), xid_of(tool), "_NET_WM_WINDOW_TYPE"),
            std::vector<std::string>{"_NET_WM_WINDOW_TYPE_UTILITY"});
  EXPECT_EQ(x_inspect::atom_names(x.get(), xid_of(plain), "_NET_WM_WINDOW_TYPE"),
            std::vector<std::string>{"_NET_WM_WINDOW_TYPE_NORMAL"});
}

TEST_F(WindowTest, WindowCarriesItsBookkeepingAsObjectData) {
  const intptr_t result = open_window(4, 30, 40, 250, 150, u"Data", WindowFlags::TitleBar);
  GtkWidget* window = window_widget(4);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(result, reinterpret_cast<intptr_t>(window));
  GObject* object = G_OBJECT(window);
  EXPECT_EQ(g_object_get_data(object, "Window"), window);
  EXPECT_EQ(object_int(window, "gw_id"), 4);
  EXPECT_EQ(object_int(window, "gw_previous_width"), 250);
  EXPECT_EQ(object_int(window, "gw_previous_height"), 150);

  auto* box = static_cast<GtkWidget*>(g_object_get_data(object, "gw_vbox"));
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(GTK_IS_VBOX(box));
  EXPECT_EQ(gtk_bin_get_child(GTK_BIN(window)), box);
  auto* fixed = static_cast<GtkWidget*>(g_object_get_data(object, "gw_gadgetlist"));
  ASSERT_NE(fixed, nullptr);
  EXPECT_TRUE(GTK_IS_FIXED(fixed));
  EXPECT_TRUE(gtk_fixed_get_has_window(GTK_FIXED(fixed)));
  EXPECT_EQ(gtk_widget_get_parent(fixed), box);
  EXPECT_TRUE(gtk_widget_get_visible(fixed));
  // The container fills the window.
  EXPECT_EQ(fixed->allocation.width, 250);
  EXPECT_EQ(fixed->allocation.height, 150);

  auto* accelerators = g_object_get_data(object, "gw_accelerators");
  ASSERT_NE(accelerators, nullptr);
  GSList* attached = gtk_accel_groups_from_object(object);
  EXPECT_NE(g_slist_find(attached, accelerators), nullptr);
}

TEST_F(WindowTest, ExplicitNumberReturnsTheWindowAutomaticOneTheNumber) {
  const intptr_t automatic = open_window(-1, 10, 10, 100, 100, u"Auto", WindowFlags::TitleBar);
  ASSERT_NE(automatic, 0);
  const auto number = static_cast<int32_t>(automatic);
  EXPECT_NE(number, -1);
  GtkWidget* window = window_widget(number);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(object_int(window, "gw_id"), number);
  ASSERT_TRUE(x_inspect::wait_until([&] { return x_inspect::is_viewable(x.get(), xid_of(window)); }, 5s,
                                    flush_toolkit_events));
  // Its events carry the automatic number.
  test_support::send_delete_window(x.get(), xid_of(window));
  EXPECT_FALSE(take_until({EventType::CloseRequest, 0, number, 0}).empty());
  const Window xid = xid_of(window);
  close_window(number);
  EXPECT_EQ(window_widget(number), nullptr);
  EXPECT_FALSE(server_has_window(x.get(), xid));
}

struct TitleCase {
  const char* name;
  std::u16string title;
  std::string utf8;
};

void PrintTo(const TitleCase& test, std::ostream* out) { *out << test.name; }

class WindowTitleTest : public WindowTest, public testing::WithParamInterface<TitleCase> {};

TEST_P(WindowTitleTest, ReachesTheServerAsUtf8) {
  GtkWidget* window = open(0, 10, 10, 200, 100, WindowFlags::TitleBar, GetParam().title);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(x_inspect::property_bytes(x.get(), xid_of(window), "_NET_WM_NAME"), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, WindowTitleTest,
    testing::Values(TitleCase{"Ascii", u"My tree", "My tree"},
                    TitleCase{"Empty", u"", ""},
                    TitleCase{"Accents", u"B\u00E4ume \u20AC", "B\xC3\xA4ume \xE2\x82\xAC"},
                    TitleCase{"SurrogatePair", u"\U0001F600!", "\xF0\x9F\x98\x80!"},
                    TitleCase{"LoneLowSurrogateBecomesReplacement", u"a\xDC00z", "a\xEF\xBF\xBDz"},
                    TitleCase{"UnpairedHighSurrogateEndsTheTitle", u"ab\xD800z", "ab"}),
    [](const testing::TestParamInfo<TitleCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, CloseButtonQueuesCloseRequestAndTheWindowStays) {
  GtkWidget* window = open(0, 10, 10, 200, 100, WindowFlags::TitleBar);
  ASSERT_NE(window, nullptr);
  const Window xid = xid_of(window);
  take_all();
  test_support::send_delete_window(x.get(), xid);
  // The viewer's own loop: wait without limit until the close request.
  {
    WaitGuard guard(5000);
    int32_t result = -1;
    while (result != EventType::CloseRequest && result != WaitGuard::Type) result = wait_event(-1);
    ASSERT_EQ(result, EventType::CloseRequest);
    EXPECT_EQ(current_event(), (WindowEvent{EventType::CloseRequest, 0, 0, 0}));
  }
  settle();
  EXPECT_EQ(window_widget(0), window);
  EXPECT_TRUE(x_inspect::is_viewable(x.get(), xid));

  close_window(0);
  EXPECT_EQ(window_widget(0), nullptr);
  EXPECT_FALSE(server_has_window(x.get(), xid));
  // Closing again finds nothing to close.
  close_window(0);
}

TEST_F(WindowTest, DestroyedWindowsQueuedEventsAreDropped) {
  GtkWidget* first = open(0, 10, 10, 200, 100, WindowFlags::TitleBar);
  GtkWidget* second = open(1, 300, 10, 200, 100, WindowFlags::TitleBar);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  take_all();
  test_support::send_delete_window(x.get(), xid_of(first));
  test_support::send_delete_window(x.get(), xid_of(second));
  settle();  // both close requests are queued now
  close_window(0);
  const auto events = take_all();
  EXPECT_FALSE(contains(events, {EventType::CloseRequest, 0, 0, 0}));
  EXPECT_TRUE(contains(events, {EventType::CloseRequest, 0, 1, 0}));
}

TEST_F(WindowTest, ReopeningANumberClosesTheWindowThatHeldIt) {
  GtkWidget* first = open(0, 10, 10, 200, 100, WindowFlags::TitleBar, u"First");
  ASSERT_NE(first, nullptr);
  const Window first_xid = xid_of(first);
  open(1, 300, 10, 100, 100, WindowFlags::TitleBar);
  take_all();
  post_event(EventType::Repaint, 0, 0, 77);
  post_event(EventType::Repaint, 0, 1, 77);

  GtkWidget* second = open(0, 20, 20, 150, 120, WindowFlags::TitleBar, u"Second");
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_FALSE(server_has_window(x.get(), first_xid));
  EXPECT_EQ(geometry(second), (Geometry{20, 20, 150, 120}));
  const auto events = take_all();
  EXPECT_FALSE(contains(events, {EventType::Repaint, 0, 0, 77}));
  EXPECT_TRUE(contains(events, {EventType::Repaint, 0, 1, 77}));
}

TEST_F(WindowTest, ResizePostsOnlyResizedThenMovePostsMoved) {
  GtkWidget* window = open(2, 10, 20, 200, 100, WindowFlags::Resizable);
  ASSERT_NE(window, nullptr);
  const Window xid = xid_of(window);
  take_all();
  const int x_before = object_int(window, "gw_previous_x");
  const int y_before = object_int(window, "gw_previous_y");

  // The user (or a window manager) moves and resizes at once.
  XMoveResizeWindow(x.get(), xid, 300, 200, 250, 150);
  auto events = take_until([](const WindowEvent& e) { return e.type == EventType::Resized; });
  EXPECT_TRUE(contains(events, {EventType::Resized, 0, 2, 0}));
  events = take_all();
  EXPECT_FALSE(contains_type(events, EventType::Moved));
  EXPECT_EQ(object_int(window, "gw_previous_width"), 250);
  EXPECT_EQ(object_int(window, "gw_previous_height"), 150);
  EXPECT_EQ(object_int(window, "gw_previous_x"), x_before);
  EXPECT_EQ(object_int(window, "gw_previous_y"), y_before);

  // Same size, new place.
  XMoveWindow(x.get(), xid, 320, 210);
  events = take_until([](const WindowEvent& e) { return e.type == EventType::Moved || e.type == EventType::Resized; });
  EXPECT_TRUE(contains(events, {EventType::Moved, 0, 2, 0}));
  EXPECT_FALSE(contains_type(events, EventType::Resized));
  EXPECT_EQ(object_int(window, "gw_previous_x"), 320);
  EXPECT_EQ(object_int(window, "gw_previous_y"), 210);
}

TEST_F(WindowTest, FocusPostsActivatedAndDeactivated) {
  GtkWidget* window = open(3, 10, 10, 200, 100, WindowFlags::TitleBar);
  ASSERT_NE(window, nullptr);
  take_all();
  XSetInputFocus(x.get(), xid_of(window), RevertToNone, CurrentTime);
  EXPECT_FALSE(take_until({EventType::Activated, 0, 3, 0}).empty());
  XSetInputFocus(x.get(), None, RevertToNone, CurrentTime);
  EXPECT_FALSE(take_until({EventType::Deactivated, 0, 3, 0}).empty());
}

TEST_F(WindowTest, PointerMotionReachingTheWindowPostsOneEventPerBurst) {
  GtkWidget* window = open(0, 50, 60, 200, 100, WindowFlags::TitleBar);
  ASSERT_NE(window, nullptr);
  // Motion that a child does not handle travels up to the window.
  auto* fixed = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window), "gw_gadgetlist"));
  GdkWindow* fixed_window = gtk_widget_get_window(fixed);
  gdk_window_set_events(fixed_window,
                        static_cast<GdkEventMask>(gdk_window_get_events(fixed_window) | GDK_POINTER_MOTION_MASK));
  x_inspect::move_pointer(x.get(), 60, 70);
  ASSERT_FALSE(take_until({EventType::PointerMotion, 0, 0, 0}).empty());
  take_all();
  for (int step = 1; step <= 8; ++step) x_inspect::move_pointer(x.get(), 60 + 10 * step, 70 + 5 * step);
  EXPECT_EQ(take_all(), (std::vector<WindowEvent>{{EventType::PointerMotion, 0, 0, 0}}));
}

TEST_F(WindowTest, ExposingTheContainerPostsRepaint) {
  GtkWidget* window = open(1, 10, 10, 200, 100, WindowFlags::TitleBar);
  ASSERT_NE(window, nullptr);
  // Showing the window exposed it.
  EXPECT_FALSE(take_until({EventType::Repaint, 0, 1, 0}).empty());
  take_all();
  auto* fixed = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window), "gw_gadgetlist"));
  XClearArea(x.get(), GDK_WINDOW_XID(gtk_widget_get_window(fixed)), 0, 0, 0, 0, True);
  EXPECT_FALSE(take_until({EventType::Repaint, 0, 1, 0}).empty());
}

TEST_F(WindowTest, ReleaseWindowsClosesEveryWindow) {
  std::vector<Window> xids;
  for (int32_t number : {0, 3}) {
    GtkWidget* window = open(number, 10 + 100 * number, 10, 80, 80, WindowFlags::TitleBar);
    ASSERT_NE(window, nullptr);
    xids.push_back(xid_of(window));
  }
  const auto automatic = static_cast<int32_t>(open_window(-1, 500, 10, 80, 80, u"", WindowFlags::TitleBar));
  ASSERT_NE(window_widget(automatic), nullptr);
  xids.push_back(xid_of(window_widget(automatic)));

  release_windows();
  for (int32_t number : {0, 3, automatic}) EXPECT_EQ(window_widget(number), nullptr) << number;
  for (Window xid : xids) EXPECT_FALSE(server_has_window(x.get(), xid));
}

TEST_F(WindowTest, NumbersWithoutAWindowAreLeftAlone) {
  open(0, 10, 10, 80, 80, WindowFlags::TitleBar);
  close_window(0);
  for (int32_t number : {0, 5, 100}) {
    close_window(number);
    set_window_keep_above(number, 1);
    set_window_state(number, WindowMaximize);
    set_window_state(number, WindowMinimize);
    set_window_state(number, 0);
    EXPECT_EQ(window_widget(number), nullptr);
  }
}

TEST_F(WindowTest, NewWindowBecomesTheCurrentWidgetListUnlessAskedNot) {
  GtkWidget* first = open(0, 10, 10, 100, 100, WindowFlags::TitleBar);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(use_widget_list(nullptr), first);
  EXPECT_EQ(current_container(), g_object_get_data(G_OBJECT(first), "gw_gadgetlist"));
  open(1, 200, 10, 100, 100, WindowFlags::TitleBar | WindowFlags::NoWidgetList);
  EXPECT_EQ(use_widget_list(nullptr), first);
  // Destroying the current window leaves no current list behind.
  close_window(0);
  EXPECT_EQ(use_widget_list(nullptr), nullptr);
  EXPECT_EQ(current_container(), nullptr);
}

// Window states and keep-above are the window manager's business: these run
// under openbox (TREE_TEST_WM=openbox).
class WindowManagerTest : public WindowTest {
 protected:
  void SetUp() override {
    const char* wm = std::getenv("TREE_TEST_WM");
    if (!wm || std::string(wm) != "openbox") GTEST_SKIP() << "needs TREE_TEST_WM=openbox";
    WindowTest::SetUp();
    ASSERT_TRUE(x_inspect::window_manager_running(x.get()));
  }

  bool has_state(GtkWidget* window, const char* state) {
    return x_inspect::has_atom(x.get(), xid_of(window), "_NET_WM_STATE", state);
  }

  bool wait_for_state(GtkWidget* window, const char* state, bool present) {
    return x_inspect::wait_until([&] { return has_state(window, state) == present; }, 5s,
                                 flush_toolkit_events);
  }

  // WM_STATE, which the window manager sets once it manages the window:
  // 1 normal, 3 iconic.
  long wm_state(GtkWidget* window) {
    const auto values = x_inspect::cardinals(x.get(), xid_of(window), "WM_STATE");
    return values.empty() ? 0 : values[0];
  }

  // Everything the toolkit has asked of the window manager so far has been
  // dealt with, and the toolkit has handled what came back.
  bool caught_up() {
    gdk_flush();
    if (!x_inspect::window_manager_caught_up(x.get(), 20s)) return false;
    gdk_flush();
    flush_toolkit_events();
    return true;
  }

  bool wait_until_managed(GtkWidget* window) {
    return x_inspect::wait_until([&] { return wm_state(window) != 0; }, 10s, flush_toolkit_events);
  }
};

TEST_F(WindowManagerTest, KeepAboveFollowsTheSetting) {
  GtkWidget* window = open(0, 40, 40, 200, 100, WindowFlags::TitleBar);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(has_state(window, "_NET_WM_STATE_ABOVE"));
  set_window_keep_above(0, 1);
  EXPECT_TRUE(wait_for_state(window, "_NET_WM_STATE_ABOVE", true));
  set_window_keep_above(0, 0);
  EXPECT_TRUE(wait_for_state(window, "_NET_WM_STATE_ABOVE", false));
}

TEST_F(WindowManagerTest, StateChangesPostTheirEvents) {
  GtkWidget* window = open(0, 40, 40, 300, 200, WindowFlags::Resizable | WindowFlags::TitleBar | WindowFlags::MaximizeButton | WindowFlags::MinimizeButton);
  ASSERT_NE(window, nullptr);
  take_all();
  struct Step {
    int32_t state;
    int32_t expected;
  };
  // Minimising a maximised window keeps it maximised, so showing it again
  // reports Maximized; restoring from the taskbar-like state reports Restored.
  const Step steps[] = {{WindowMaximize, EventType::Maximized}, {WindowMinimize, EventType::Minimized}, {WindowMaximize, EventType::Maximized},
                        {0, EventType::Restored},               {WindowMinimize, EventType::Minimized}, {0, EventType::Restored}};
  for (const Step& step : steps) {
    set_window_state(0, step.state);
    const auto events = take_until([](const WindowEvent& e) {
      return e.type == EventType::Minimized || e.type == EventType::Maximized || e.type == EventType::Restored;
    });
    ASSERT_FALSE(events.empty()) << "state " << step.state;
    for (const WindowEvent& e : events) {
      if (e.type == EventType::Minimized || e.type == EventType::Maximized || e.type == EventType::Restored) {
        EXPECT_EQ(e, (WindowEvent{step.expected, 0, 0, 0})) << "state " << step.state;
      }
    }
    // The window manager has finished this step before the next one.
    ASSERT_TRUE(caught_up()) << "state " << step.state;
    take_all();
  }
}

TEST_F(WindowManagerTest, StartMaximizedOpensMaximized) {
  GtkWidget* window = open(0, 40, 40, 300, 200, WindowFlags::Resizable | WindowFlags::TitleBar | WindowFlags::MaximizeButton | WindowFlags::StartMaximized);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(take_until({EventType::Maximized, 0, 0, 0}).empty());
  ASSERT_TRUE(wait_until_managed(window));
  EXPECT_EQ(wm_state(window), NormalState);
  EXPECT_TRUE(wait_for_state(window, "_NET_WM_STATE_MAXIMIZED_HORZ", true));
  EXPECT_TRUE(has_state(window, "_NET_WM_STATE_MAXIMIZED_VERT"));
}

TEST_F(WindowManagerTest, StartMinimizedOpensIconic) {
  GtkWidget* window = open(0, 40, 40, 300, 200, WindowFlags::TitleBar | WindowFlags::MinimizeButton | WindowFlags::StartMinimized);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(x_inspect::wait_until([&] { return wm_state(window) == IconicState; }, 5s, flush_toolkit_events));
  EXPECT_FALSE(x_inspect::is_viewable(x.get(), xid_of(window)));
}

TEST_F(WindowManagerTest, StartMaximizedWinsOverStartMinimized) {
  GtkWidget* window =
      open(0, 40, 40, 300, 200, WindowFlags::Resizable | WindowFlags::TitleBar | WindowFlags::MaximizeButton | WindowFlags::StartMaximized | WindowFlags::StartMinimized);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(take_until({EventType::Maximized, 0, 0, 0}).empty());
  ASSERT_TRUE(wait_until_managed(window));
  EXPECT_EQ(wm_state(window), NormalState);
  EXPECT_TRUE(wait_for_state(window, "_NET_WM_STATE_MAXIMIZED_HORZ", true));
}

TEST_F(WindowManagerTest, ToolWindowDropsTheStartStates) {
  GtkWidget* window = open(0, 40, 40, 300, 200, WindowFlags::Resizable | WindowFlags::ToolWindow | WindowFlags::StartMaximized);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(wait_until_managed(window));
  EXPECT_EQ(wm_state(window), NormalState);
  ASSERT_TRUE(caught_up());
  EXPECT_FALSE(has_state(window, "_NET_WM_STATE_MAXIMIZED_HORZ"));
}

}  // namespace
