#include "core/event_queue.h"

#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <chrono>
#include <ostream>
#include <vector>

#include "tests/toolkit_log.h"
#include "tests/wait_guard.h"
#include "tests/window_event_print.h"
#include "tests/x_inspect.h"

using namespace core;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr WindowEvent no_current_event{0, 0, -1, 0};

std::vector<WindowEvent> take_all() {
  std::vector<WindowEvent> events;
  for (WindowEvent event = take_event(); event.type != 0; event = take_event()) events.push_back(event);
  return events;
}

// A plain top-level window at a fixed place on the bare X server, whose
// handlers post events the way the system's handlers do.
class TestWindow {
 public:
  TestWindow(x_inspect::Connection& x, GdkEventMask events) {
    widget_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_move(GTK_WINDOW(widget_), Left, Top);
    gtk_window_set_default_size(GTK_WINDOW(widget_), Width, Height);
    gtk_widget_add_events(widget_, events);
    g_signal_connect(widget_, "button-press-event", G_CALLBACK(&TestWindow::on_press), this);
    g_signal_connect(widget_, "motion-notify-event", G_CALLBACK(&TestWindow::on_motion), this);
    gtk_widget_show(widget_);
    const Window xid = GDK_WINDOW_XID(gtk_widget_get_window(widget_));
    viewable_ = x_inspect::wait_until([&] { return x_inspect::is_viewable(x.get(), xid); }, 5s,
                                      flush_toolkit_events);
  }
  ~TestWindow() {
    gtk_widget_destroy(widget_);
    flush_toolkit_events();
  }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  bool viewable() const { return viewable_; }
  int motions() const { return motions_; }
  void reset_motions() { motions_ = 0; }

  static constexpr int Left = 100;
  static constexpr int Top = 120;
  static constexpr int Width = 200;
  static constexpr int Height = 150;
  static constexpr int32_t WindowNumber = 9;

 private:
  static gboolean on_press(GtkWidget*, GdkEventButton* event, gpointer) {
    if (event->type == GDK_BUTTON_PRESS) {
      post_event(EventType::WidgetEvent, 7, WindowNumber, event->button == 3 ? WidgetEventData::RightClick : WidgetEventData::LeftClick);
    }
    return FALSE;
  }
  static gboolean on_motion(GtkWidget*, GdkEventMotion*, gpointer self) {
    ++static_cast<TestWindow*>(self)->motions_;
    post_event(EventType::PointerMotion, 0, WindowNumber, 0);
    return FALSE;
  }

  GtkWidget* widget_;
  bool viewable_ = false;
  int motions_ = 0;
};

class EventQueueTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(x) << "no X display";
    init_event_queue();
    flush_toolkit_events();
  }
  void TearDown() override { EXPECT_EQ(log.messages(), std::vector<std::string>{}); }

  ToolkitLog log;
  x_inspect::Connection x;
};

TEST_F(EventQueueTest, TakesEventsOldestFirst) {
  post_event(EventType::Repaint, 0, 1, 0);
  post_event(EventType::WidgetEvent, 2, 1, WidgetEventData::LeftDoubleClick);
  post_event(EventType::CloseRequest, 0, 1, 0);
  EXPECT_EQ(take_event(), (WindowEvent{EventType::Repaint, 0, 1, 0}));
  EXPECT_EQ(take_event(), (WindowEvent{EventType::WidgetEvent, 2, 1, WidgetEventData::LeftDoubleClick}));
  EXPECT_EQ(take_event(), (WindowEvent{EventType::CloseRequest, 0, 1, 0}));
  EXPECT_EQ(take_event(), (WindowEvent{0, 0, 0, 0}));
}

TEST_F(EventQueueTest, InitStartsEmpty) {
  post_event(EventType::Repaint, 0, 1, 0);
  init_event_queue();
  EXPECT_EQ(take_event().type, 0);
}

// Posting, taking and dropping, and the queue that results.
struct Step {
  enum class Kind { Post, Take, Drop } kind;
  WindowEvent event;  // Drop uses its window
};
struct QueueCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<WindowEvent> remaining;
};

void PrintTo(const QueueCase& test, std::ostream* out) { *out << test.name; }

constexpr WindowEvent a{EventType::Moved, 0, 1, 0};
constexpr WindowEvent b{EventType::Resized, 0, 2, 0};
Step post(WindowEvent event) { return {Step::Kind::Post, event}; }
Step take() { return {Step::Kind::Take, {}}; }
Step drop(int32_t window) { return {Step::Kind::Drop, {0, 0, window, 0}}; }

class QueueRuleTest : public testing::TestWithParam<QueueCase> {
 protected:
  void SetUp() override { init_event_queue(); }
};

TEST_P(QueueRuleTest, LeavesTheExpectedEvents) {
  for (const Step& step : GetParam().steps) {
    switch (step.kind) {
      case Step::Kind::Post:
        post_event(step.event.type, step.event.widget, step.event.window, step.event.data);
        break;
      case Step::Kind::Take:
        take_event();
        break;
      case Step::Kind::Drop:
        drop_window_events(step.event.window);
        break;
    }
  }
  EXPECT_EQ(take_all(), GetParam().remaining);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, QueueRuleTest,
    testing::Values(
        QueueCase{"IdenticalCollapse", {post(a), post(a), post(a)}, {a}},
        QueueCase{"TypeDiffers", {post(a), post({EventType::Resized, 0, 1, 0})}, {a, {EventType::Resized, 0, 1, 0}}},
        QueueCase{"WidgetDiffers", {post(a), post({EventType::Moved, 1, 1, 0})}, {a, {EventType::Moved, 1, 1, 0}}},
        QueueCase{"WindowDiffers", {post(a), post({EventType::Moved, 0, 2, 0})}, {a, {EventType::Moved, 0, 2, 0}}},
        QueueCase{"DataDiffers", {post(a), post({EventType::Moved, 0, 1, 1})}, {a, {EventType::Moved, 0, 1, 1}}},
        QueueCase{"OnlyConsecutiveCollapse", {post(a), post(b), post(a)}, {a, b, a}},
        QueueCase{"TakenEventIsNoLongerLast", {post(a), take(), post(a)}, {a}},
        QueueCase{"TakingTheOldestKeepsTheLast", {post(b), post(a), take(), post(a)}, {a}},
        QueueCase{"DropKeepsOrderOfTheRest",
                  {post({EventType::Moved, 0, 1, 0}), post({EventType::Moved, 0, 2, 0}), post({EventType::Resized, 0, 1, 0}),
                   post({EventType::Moved, 0, 3, 0}), post({EventType::Resized, 0, 2, 0}), drop(2)},
                  {{EventType::Moved, 0, 1, 0}, {EventType::Resized, 0, 1, 0}, {EventType::Moved, 0, 3, 0}}},
        QueueCase{"DropMakesLastKeptEventLast", {post(a), post(b), drop(2), post(a)}, {a}},
        QueueCase{"DropEverythingThenPost", {post(a), post({EventType::Resized, 0, 1, 0}), drop(1), post(b)}, {b}},
        QueueCase{"DropOfOtherWindowKeepsAll", {post(a), post(b), drop(7)}, {a, b}}),
    [](const testing::TestParamInfo<QueueCase>& info) { return std::string(info.param.name); });

TEST_F(EventQueueTest, WaitReturnsQueuedEventsAndKeepsTheCurrentOne) {
  post_event(EventType::WidgetEvent, 7, 3, WidgetEventData::DragStart);
  post_event(EventType::CloseRequest, 0, 3, 0);
  EXPECT_EQ(wait_event(0), EventType::WidgetEvent);
  EXPECT_EQ(current_event(), (WindowEvent{EventType::WidgetEvent, 7, 3, WidgetEventData::DragStart}));
  EXPECT_EQ(wait_event(-1), EventType::CloseRequest);
  EXPECT_EQ(current_event(), (WindowEvent{EventType::CloseRequest, 0, 3, 0}));
  // Nothing queued, nothing pending: no wait, and the current event is reset.
  EXPECT_EQ(wait_event(0), 0);
  EXPECT_EQ(current_event(), no_current_event);
}

TEST_F(EventQueueTest, WaitWithoutLimitReturnsMinusOneWhenNothingWasQueued) {
  post_event(EventType::Moved, 0, 4, 0);
  ASSERT_EQ(wait_event(0), EventType::Moved);
  // A toolkit source that fires and posts nothing: one iteration, no event.
  g_timeout_add(20, [](gpointer) -> gboolean { return FALSE; }, nullptr);
  EXPECT_EQ(wait_event(-1), -1);
  EXPECT_EQ(current_event(), no_current_event);
}

TEST_F(EventQueueTest, TimedWaitWithoutActivityReturnsZeroAfterTheTimeout) {
  const auto start = Clock::now();
  EXPECT_EQ(wait_event(50), 0);
  EXPECT_GE(Clock::now() - start, 50ms);
  EXPECT_EQ(current_event(), no_current_event);
}

TEST_F(EventQueueTest, TimedWaitStopsWhenTheToolkitHasWork) {
  g_timeout_add(30, [](gpointer) -> gboolean {
    post_event(EventType::Repaint, 0, 6, 0);
    return FALSE;
  }, nullptr);
  const auto start = Clock::now();
  EXPECT_EQ(wait_event(5000), EventType::Repaint);
  // It returned as soon as the source was due, long before the timeout.
  EXPECT_LT(Clock::now() - start, 4s);
  EXPECT_EQ(current_event(), (WindowEvent{EventType::Repaint, 0, 6, 0}));
}

TEST_F(EventQueueTest, WaitWithoutLimitBlocksUntilRealInputPostsAnEvent) {
  TestWindow window(x, GDK_BUTTON_PRESS_MASK);
  ASSERT_TRUE(window.viewable());
  for (unsigned button : {1u, 3u}) {
    x_inspect::click(x.get(), TestWindow::Left + 50, TestWindow::Top + 40, button);
    WaitGuard guard(5000);
    int32_t result = -1;
    // Each call handles one toolkit event (enter, press, release, ...).
    while (result == -1) result = wait_event(-1);
    ASSERT_EQ(result, EventType::WidgetEvent) << "button " << button << (result == WaitGuard::Type ? " (timed out)" : "");
    EXPECT_EQ(current_event(), (WindowEvent{EventType::WidgetEvent, 7, TestWindow::WindowNumber,
                                            button == 3 ? WidgetEventData::RightClick : WidgetEventData::LeftClick}));
  }
}

TEST_F(EventQueueTest, TimedWaitDeliversRealInput) {
  TestWindow window(x, GDK_BUTTON_PRESS_MASK);
  ASSERT_TRUE(window.viewable());
  x_inspect::click(x.get(), TestWindow::Left + 20, TestWindow::Top + 20, 1);
  int32_t result = 0;
  for (int attempt = 0; attempt < 100 && result != EventType::WidgetEvent; ++attempt) result = wait_event(100);
  EXPECT_EQ(result, EventType::WidgetEvent);
  EXPECT_EQ(current_event(), (WindowEvent{EventType::WidgetEvent, 7, TestWindow::WindowNumber, WidgetEventData::LeftClick}));
}

TEST_F(EventQueueTest, BurstOfRealPointerMotionOccupiesOneEvent) {
  TestWindow window(x, GDK_POINTER_MOTION_MASK);
  ASSERT_TRUE(window.viewable());
  // Start inside the window so that only motion follows.
  x_inspect::move_pointer(x.get(), TestWindow::Left + 10, TestWindow::Top + 10);
  ASSERT_TRUE(x_inspect::wait_until([&] { return window.motions() > 0; }, 5s, flush_toolkit_events));
  take_all();
  window.reset_motions();

  for (int step = 1; step <= 10; ++step) {
    x_inspect::move_pointer(x.get(), TestWindow::Left + 10 + 5 * step, TestWindow::Top + 10 + 3 * step);
  }
  ASSERT_TRUE(x_inspect::wait_until([&] { return window.motions() >= 10; }, 5s, flush_toolkit_events));
  flush_toolkit_events();
  EXPECT_EQ(take_all(), (std::vector<WindowEvent>{{EventType::PointerMotion, 0, TestWindow::WindowNumber, 0}}));
}

}  // namespace
