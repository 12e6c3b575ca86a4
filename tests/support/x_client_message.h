// What a window manager sends when the user closes a window: the
// WM_DELETE_WINDOW message of the WM_PROTOCOLS protocol. The viewer's tests
// close its windows with it, and the viewer benchmark ends each run with it.
#pragma once

#include <X11/Xlib.h>

namespace test_support {

// Sends the message to the window's client and waits until the X server has
// handled the request, so that whatever the caller does next comes after it.
void send_delete_window(Display* display, Window window);

}  // namespace test_support
