// Tests look at windows the way the X server (and a window manager) sees
// them, and drive them with real X input, through a connection of their own.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace x_inspect {

// A connection to the X server named by DISPLAY.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Display* get() const { return display_; }
  explicit operator bool() const { return display_ != nullptr; }

 private:
  Display* display_;
};

// Collects the X errors of requests made while it exists instead of handing
// them to the process's handler (the toolkit's ends the process). Errors are
// counted for every connection of the process.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display);
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  // Waits for the replies of every request made so far; true when any failed.
  bool failed();

 private:
  Display* display_;
  XErrorHandler previous_;
};

struct Geometry {
  int x = 0;  // top-left corner of the window's inside, in root coordinates
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Geometry&) const = default;
};
// How test failures show a geometry.
void PrintTo(const Geometry& geometry, std::ostream* out);

// The _MOTIF_WM_HINTS property (flags 0x1: functions set, 0x2: decorations set).
struct MotifHints {
  long flags = 0;
  long functions = 0;
  long decorations = 0;
};

// The minimum and maximum sizes of WM_NORMAL_HINTS, 0 when unset.
struct SizeHints {
  long flags = 0;
  int min_width = 0;
  int min_height = 0;
  int max_width = 0;
  int max_height = 0;
};

bool window_exists(Display* display, Window window);
bool is_viewable(Display* display, Window window);
std::optional<Geometry> geometry(Display* display, Window window);
std::optional<MotifHints> motif_hints(Display* display, Window window);
std::optional<SizeHints> size_hints(Display* display, Window window);
// The bytes of a property of any type (WM_NAME, _NET_WM_NAME).
std::optional<std::string> property_bytes(Display* display, Window window, const char* property);
// The names of an atom-list property (_NET_WM_STATE, _NET_WM_WINDOW_TYPE).
std::vector<std::string> atom_names(Display* display, Window window, const char* property);
// A 32-bit property's values (_NET_WM_PID, WM_STATE, WM_TRANSIENT_FOR).
std::vector<long> cardinals(Display* display, Window window, const char* property);
bool has_atom(Display* display, Window window, const char* property, const char* atom);

// The viewable client windows whose _NET_WM_PID is pid, anywhere in the
// window tree (a window manager reparents them).
std::vector<Window> client_windows_of(Display* display, pid_t pid);

// Real pointer input through the XTest extension, in root coordinates.
void move_pointer(Display* display, int x, int y);
void click(Display* display, int x, int y, unsigned button);
// Real key input through the XTest extension: the key of the keysym, with
// Shift (ShiftMask) and Control (ControlMask) held as asked.
void press_key(Display* display, unsigned long keysym, unsigned modifiers = 0);
// Types the ASCII letters, digits and punctuation of the text.
void type_text(Display* display, const std::string& text);

// Whether the client of a toolkit window answers the _NET_WM_PING protocol
// within the timeout. Its answer comes once it has handled every event sent
// to it before: a point where input given earlier has had its effect.
bool answers_ping(Display* display, Window window, std::chrono::milliseconds timeout);
// Waits until the window manager has handled everything asked of it before
// the call: a window of the caller's is mapped and counts once the manager
// has taken it in (WM_STATE). False when that takes longer than the timeout.
bool window_manager_caught_up(Display* display, std::chrono::milliseconds timeout);
// The text of the CLIPBOARD selection as UTF8_STRING, asked of its owner;
// nothing when no one owns it or no answer comes within the timeout.
std::optional<std::string> clipboard_text(Display* display, std::chrono::milliseconds timeout);

// Types any text, UTF-8: a character without a key of its own is given one,
// a keycode that holds no keysym, for as long as it is typed.
void type_unicode(Display* display, const std::string& utf8);

// What the screen shows of a window (a 24-bit true-colour screen), 0xRRGGBB
// pixels row by row; empty when the window cannot be read.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned long> pixels;
  unsigned long at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Picture screenshot(Display* display, Window window);

// A window below another, in root coordinates.
struct Descendant {
  Window window = 0;
  int depth = 0;  // 1 for a child
  Geometry place;
  bool mapped = false;
  bool input_output = false;
};
// Every window below `window`, parents before their children.
std::vector<Descendant> descendants(Display* display, Window window);
// The mapped override-redirect children of the root: menus, tooltips.
std::vector<Window> popup_windows(Display* display);

// Whether a window manager runs on the screen (_NET_SUPPORTING_WM_CHECK).
bool window_manager_running(Display* display);

// Calls step, then checks condition, until the condition holds or the
// timeout has passed; true when it held.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                const std::function<void()>& step = {});

}  // namespace x_inspect
