// The viewer's single event queue. Toolkit signal handlers only append
// events; the program takes them out one at a time with wait_event, which is
// also what drives the toolkit (the viewer never enters gtk_main).
#pragma once

#include <cstdint>

namespace core {

// Event types and data travel as plain numbers (WindowEvent, wait_event's
// result), so each set of names is an unscoped enumeration inside a scope of
// its own: EventType::CloseRequest, WidgetEventData::LeftClick.
struct EventType {
  enum : int32_t {
    CloseRequest = 2,
    WidgetEvent = 3,
    Repaint = 4,
    Moved = 5,
    Resized = 6,
    Activated = 7,
    Deactivated = 8,
    Minimized = 12,
    Maximized = 13,
    Restored = 14,
    PointerMotion = 24,
  };
};

// Data of a WidgetEvent.
struct WidgetEventData {
  enum : int32_t {
    LeftClick = 0,
    RightClick = 1,
    LeftDoubleClick = 2,
    RightDoubleClick = 3,
    Change = 768,
    DragStart = 2048,
  };
};

struct WindowEvent {
  int32_t type = 0;
  int32_t widget = 0;
  int32_t window = 0;
  int32_t data = 0;
  bool operator==(const WindowEvent&) const = default;
};

void init_event_queue();
// Appends an event unless the last queued event is identical.
void post_event(int32_t type, int32_t widget, int32_t window, int32_t data);
// Removes and returns the oldest event; type 0 when the queue is empty.
WindowEvent take_event();
void drop_window_events(int32_t window);
// Lets the toolkit handle everything pending, without blocking.
void flush_toolkit_events();
// timeout < 0 waits without limit, 0 does not wait, > 0 waits about that many
// milliseconds. Returns the event's type, -1 when the toolkit ran but nothing
// was queued, 0 when nothing happened.
int32_t wait_event(int32_t timeout);
// The event wait_event returned last (widget 0, window -1, data 0 when it
// returned 0 or -1).
const WindowEvent& current_event();

}  // namespace core
