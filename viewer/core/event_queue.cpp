#include "core/event_queue.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <new>
#include <thread>

namespace core {

namespace {

// The queue's start-up record. Events live in a deque, whose blocks serve
// as the pool of fixed-size nodes: they grow on demand and are reused.
struct EventQueueState {
  std::deque<WindowEvent> queue;
  WindowEvent current{0, 0, -1, 0};
};

EventQueueState& state() {
  static EventQueueState instance;
  return instance;
}

constexpr WindowEvent NoEvent{0, 0, -1, 0};

// Polls for toolkit work in 2 ms steps until some is pending or the timeout
// has passed; then handles one piece of it. True when the toolkit ran. The
// time is measured on the monotonic clock, so that setting the system clock
// neither cuts a wait short nor stretches it.
bool run_toolkit_within(int32_t timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const std::chrono::milliseconds limit(timeout);
  while (!gtk_events_pending()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    // Whole milliseconds passed, truncated toward zero.
    if (std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start) > limit) break;
  }
  if (!gtk_events_pending()) return false;
  gtk_main_iteration_do(FALSE);
  return true;
}

// Lets the toolkit work as the timeout allows. True when it ran.
bool run_toolkit(int32_t timeout) {
  if (timeout < 0) {
    gtk_main_iteration();
    return true;
  }
  if (timeout == 0) {
    if (!gtk_events_pending()) return false;
    gtk_main_iteration_do(FALSE);
    return true;
  }
  return run_toolkit_within(timeout);
}

// Takes the oldest event into the current event. False when none is queued.
bool take_current() {
  WindowEvent event = take_event();
  if (event.type == 0) return false;
  state().current = event;
  return true;
}

}  // namespace

void init_event_queue() { state() = EventQueueState{}; }

void post_event(int32_t type, int32_t widget, int32_t window, int32_t data) {
  auto& queue = state().queue;
  const WindowEvent event{type, widget, window, data};
  if (!queue.empty() && queue.back() == event) return;
  // Handlers run inside the toolkit's C code, which an exception must never
  // cross: an event that finds no memory is dropped.
  try {
    queue.push_back(event);
  } catch (const std::bad_alloc&) {
  }
}

WindowEvent take_event() {
  auto& queue = state().queue;
  if (queue.empty()) return WindowEvent{};
  WindowEvent event = queue.front();
  queue.pop_front();
  return event;
}

void drop_window_events(int32_t window) {
  std::erase_if(state().queue, [window](const WindowEvent& event) { return event.window == window; });
}

void flush_toolkit_events() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

int32_t wait_event(int32_t timeout) {
  state().current = NoEvent;
  if (take_current()) return state().current.type;
  const bool toolkit_ran = run_toolkit(timeout);
  if (take_current()) return state().current.type;
  return toolkit_ran ? -1 : 0;
}

const WindowEvent& current_event() { return state().current; }

}  // namespace core
