// Numbered top-level windows. Each window holds a vertical box and, inside
// it, the fixed container that receives the window's widgets; the window's
// signals become queued events (event_queue.h). Closing a window from the
// window manager only queues a CloseRequest: windows are destroyed by the
// program alone, through close_window.
//
// Object data on the toolkit window (integers stored with GINT_TO_POINTER):
// "Window" (the window), "gw_previous_width", "gw_previous_height",
// "gw_previous_x", "gw_previous_y" (the last size and position seen),
// "gw_vbox" (the box), "gw_gadgetlist" (the fixed container), "gw_id" (the
// window number) and "gw_accelerators" (the window's accelerator group).
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string_view>

namespace core {

// Flags of open_window, combined as a plain bit set: WindowFlags::Hidden | ...
struct WindowFlags {
  enum : uint32_t {
    Hidden = 0x1,            // not shown at the end of open_window
    Resizable = 0x2,         // the user may resize; the size is only the default size
    TitleBar = 0x4,          // border, title and window menu
    MaximizeButton = 0x10,   // maximise button and function
    MinimizeButton = 0x20,   // minimise button and function
    ScreenCentered = 0x40,   // centred on the screen; x and y are not applied
    Borderless = 0x80,       // no decorations at all
    ParentCentered = 0x100,  // centred on the parent's frame; x and y are not applied
    StartMaximized = 0x200,
    StartMinimized = 0x400,  // ignored together with StartMaximized
    ToolWindow = 0x800,      // utility window, without the maximise and minimise bits
    NoWidgetList = 0x1000,   // does not become the current widget list
  };
};

// Window states of set_window_state; any other value restores.
inline constexpr int32_t WindowMaximize = 0x200;
inline constexpr int32_t WindowMinimize = 0x400;

// Creates (or re-creates, closing every open window) the window registry.
void init_windows();

// Opens window `number` (-1: an automatic number), closing the window that
// held the number before. x or y equal to -65535 leave the placement to the
// window manager. Returns 0 when the toolkit cannot create the window;
// otherwise the toolkit window (GtkWidget*) for a chosen number, or the
// automatic number for -1.
intptr_t open_window(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     std::u16string_view title, uint32_t flags, GtkWindow* parent = nullptr);

// The toolkit window of a number, or nullptr when it holds no window.
GtkWidget* window_widget(int32_t number);

void set_window_keep_above(int32_t number, int32_t above);
// WindowMaximize, WindowMinimize, or anything else to restore.
void set_window_state(int32_t number, int32_t state);
// Destroys the window (with its widgets and queued events), then lets the
// toolkit settle. Nothing when the number holds no window.
void close_window(int32_t number);
// Closes every open window.
void release_windows();

}  // namespace core
