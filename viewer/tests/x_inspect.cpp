#include "tests/x_inspect.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <memory>
#include <thread>

namespace x_inspect {

namespace {

// Xlib's error handler takes no user data, so the trap's count lives here.
struct TrapState {
  int errors = 0;
};

TrapState& trap_state() {
  static TrapState state;
  return state;
}

int count_error(Display*, XErrorEvent*) {
  ++trap_state().errors;
  return 0;
}

struct XFreeDeleter {
  void operator()(void* data) const {
    if (data) XFree(data);
  }
};
using XData = std::unique_ptr<unsigned char, XFreeDeleter>;

struct Property {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  XData data;
};

std::optional<Property> read_property(Display* display, Window window, const char* name) {
  ErrorTrap trap(display);
  Property property;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1 << 20,
                                        False, AnyPropertyType, &property.type, &property.format,
                                        &property.count, &remaining, &data);
  property.data.reset(data);
  if (trap.failed() || status != Success || property.type == None) return std::nullopt;
  return property;
}

// Format-32 items arrive as longs, whatever the size of long.
std::vector<long> longs(const Property& property) {
  if (property.format != 32) return {};
  const long* items = reinterpret_cast<const long*>(property.data.get());
  return std::vector<long>(items, items + property.count);
}

void collect_clients(Display* display, Window window, long pid, std::vector<Window>& found) {
  const auto pids = cardinals(display, window, "_NET_WM_PID");
  if (!pids.empty() && pids[0] == pid && is_viewable(display, window)) found.push_back(window);
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  ErrorTrap trap(display);
  const Status status = XQueryTree(display, window, &root, &parent, &children, &count);
  std::unique_ptr<Window, XFreeDeleter> owned(children);
  if (trap.failed() || !status) return;
  for (unsigned i = 0; i < count; ++i) collect_clients(display, children[i], pid, found);
}

}  // namespace

Connection::Connection() : display_(XOpenDisplay(nullptr)) {}

Connection::~Connection() {
  if (display_) XCloseDisplay(display_);
}

ErrorTrap::ErrorTrap(Display* display) : display_(display) {
  XSync(display_, False);
  trap_state().errors = 0;
  previous_ = XSetErrorHandler(count_error);
}

ErrorTrap::~ErrorTrap() {
  XSync(display_, False);
  XSetErrorHandler(previous_);
}

bool ErrorTrap::failed() {
  XSync(display_, False);
  return trap_state().errors != 0;
}

bool window_exists(Display* display, Window window) {
  ErrorTrap trap(display);
  XWindowAttributes attributes;
  const Status status = XGetWindowAttributes(display, window, &attributes);
  return !trap.failed() && status;
}

bool is_viewable(Display* display, Window window) {
  ErrorTrap trap(display);
  XWindowAttributes attributes;
  const Status status = XGetWindowAttributes(display, window, &attributes);
  return !trap.failed() && status && attributes.map_state == IsViewable;
}

std::optional<Geometry> geometry(Display* display, Window window) {
  ErrorTrap trap(display);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes) || trap.failed()) return std::nullopt;
  Window child = 0;
  Geometry result;
  XTranslateCoordinates(display, window, attributes.root, 0, 0, &result.x, &result.y, &child);
  if (trap.failed()) return std::nullopt;
  result.width = attributes.width;
  result.height = attributes.height;
  return result;
}

std::optional<MotifHints> motif_hints(Display* display, Window window) {
  const auto property = read_property(display, window, "_MOTIF_WM_HINTS");
  if (!property) return std::nullopt;
  const auto values = longs(*property);
  if (values.size() < 3) return std::nullopt;
  return MotifHints{values[0], values[1], values[2]};
}

std::optional<SizeHints> size_hints(Display* display, Window window) {
  ErrorTrap trap(display);
  XSizeHints hints{};
  long supplied = 0;
  const Status status = XGetWMNormalHints(display, window, &hints, &supplied);
  if (trap.failed() || !status) return std::nullopt;
  SizeHints result;
  result.flags = hints.flags;
  if (hints.flags & PMinSize) {
    result.min_width = hints.min_width;
    result.min_height = hints.min_height;
  }
  if (hints.flags & PMaxSize) {
    result.max_width = hints.max_width;
    result.max_height = hints.max_height;
  }
  return result;
}

std::optional<std::string> property_bytes(Display* display, Window window, const char* name) {
  const auto property = read_property(display, window, name);
  if (!property || property->format != 8) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(property->data.get()), property->count);
}

std::vector<std::string> atom_names(Display* display, Window window, const char* name) {
  std::vector<std::string> names;
  const auto property = read_property(display, window, name);
  if (!property || property->type != XA_ATOM) return names;
  for (long atom : longs(*property)) {
    std::unique_ptr<char, XFreeDeleter> text(XGetAtomName(display, static_cast<Atom>(atom)));
    if (text) names.emplace_back(text.get());
  }
  return names;
}

std::vector<long> cardinals(Display* display, Window window, const char* name) {
  const auto property = read_property(display, window, name);
  return property ? longs(*property) : std::vector<long>{};
}

bool has_atom(Display* display, Window window, const char* property, const char* atom) {
  for (const auto& name : atom_names(display, window, property)) {
    if (name == atom) return true;
  }
  return false;
}

std::vector<Window> client_windows_of(Display* display, pid_t pid) {
  std::vector<Window> found;
  collect_clients(display, DefaultRootWindow(display), pid, found);
  return found;
}

void move_pointer(Display* display, int x, int y) {
  XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
  XSync(display, False);
}

void click(Display* display, int x, int y, unsigned button) {
  move_pointer(display, x, y);
  XTestFakeButtonEvent(display, button, True, CurrentTime);
  XTestFakeButtonEvent(display, button, False, CurrentTime);
  XSync(display, False);
}

void press_key(Display* display, unsigned long keysym, unsigned modifiers) {
  const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
  const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
  const KeyCode code = XKeysymToKeycode(display, static_cast<KeySym>(keysym));
  if (modifiers & ControlMask) XTestFakeKeyEvent(display, control, True, CurrentTime);
  if (modifiers & ShiftMask) XTestFakeKeyEvent(display, shift, True, CurrentTime);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  if (modifiers & ShiftMask) XTestFakeKeyEvent(display, shift, False, CurrentTime);
  if (modifiers & ControlMask) XTestFakeKeyEvent(display, control, False, CurrentTime);
  XSync(display, False);
}

void type_text(Display* display, const std::string& text) {
  for (char c : text) {
    const char name[2] = {c, 0};
    KeySym keysym = XStringToKeysym(name);
    if (c == ' ') keysym = XK_space;
    if (c == '.') keysym = XK_period;
    if (c == ',') keysym = XK_comma;
    const bool upper = c >= 'A' && c <= 'Z';
    press_key(display, keysym, upper ? ShiftMask : 0);
  }
}

void type_unicode(Display* display, const std::string& utf8) {
  int low = 0;
  int high = 0;
  XDisplayKeycodes(display, &low, &high);
  for (size_t i = 0; i < utf8.size();) {
    // One character's code point.
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    unsigned long code_point = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
      code_point = code_point << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += length;
    if (code_point < 0x80) {
      type_text(display, std::string(1, static_cast<char>(code_point)));
      continue;
    }
    KeySym keysym = 0x1000000 | code_point;
    if (XKeysymToKeycode(display, keysym) != 0) {
      press_key(display, keysym);
      continue;
    }
    int per_code = 0;
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(low), high - low + 1, &per_code);
    int spare = 0;
    for (int code = high; code >= low && map && !spare; --code) {
      bool empty = true;
      for (int k = 0; k < per_code; ++k) empty = empty && map[(code - low) * per_code + k] == NoSymbol;
      if (empty) spare = code;
    }
    if (map) XFree(map);
    if (!spare) continue;
    KeySym both[2] = {keysym, keysym};
    XChangeKeyboardMapping(display, spare, 2, both, 1);
    XSync(display, False);
    XTestFakeKeyEvent(display, static_cast<unsigned>(spare), True, CurrentTime);
    XTestFakeKeyEvent(display, static_cast<unsigned>(spare), False, CurrentTime);
    XSync(display, False);
    KeySym none[2] = {NoSymbol, NoSymbol};
    XChangeKeyboardMapping(display, spare, 2, none, 1);
    XSync(display, False);
  }
}

Picture screenshot(Display* display, Window window) {
  Picture picture;
  ErrorTrap trap(display);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return picture;
  XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (trap.failed() || !image) return picture;
  picture.width = attributes.width;
  picture.height = attributes.height;
  picture.pixels.reserve(static_cast<size_t>(picture.width) * picture.height);
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) picture.pixels.push_back(XGetPixel(image, x, y) & 0xFFFFFF);
  XDestroyImage(image);
  return picture;
}

namespace {

void collect_descendants(Display* display, Window window, int depth, std::vector<Descendant>& found) {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return;
  const std::unique_ptr<Window, XFreeDeleter> owned(children);
  for (unsigned i = 0; i < count; ++i) {
    Descendant child;
    child.window = children[i];
    child.depth = depth;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, child.window, &attributes)) continue;
    child.mapped = attributes.map_state == IsViewable;
    child.input_output = attributes.c_class == InputOutput;
    Window ignored = 0;
    XTranslateCoordinates(display, child.window, attributes.root, 0, 0, &child.place.x, &child.place.y,
                          &ignored);
    child.place.width = attributes.width;
    child.place.height = attributes.height;
    found.push_back(child);
    collect_descendants(display, child.window, depth + 1, found);
  }
}

}  // namespace

std::vector<Descendant> descendants(Display* display, Window window) {
  ErrorTrap trap(display);
  std::vector<Descendant> found;
  collect_descendants(display, window, 1, found);
  return found;
}

std::vector<Window> popup_windows(Display* display) {
  ErrorTrap trap(display);
  std::vector<Window> found;
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return found;
  const std::unique_ptr<Window, XFreeDeleter> owned(children);
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, children[i], &attributes) && attributes.override_redirect &&
        attributes.map_state == IsViewable && attributes.c_class == InputOutput)
      found.push_back(children[i]);
  }
  return found;
}

bool answers_ping(Display* display, Window window, std::chrono::milliseconds timeout) {
  static long serial = 0;
  const Window root = DefaultRootWindow(display);
  const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
  // The answer goes to the root window, for whoever listens there.
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, root, &attributes);
  XSelectInput(display, root, attributes.your_event_mask | SubstructureNotifyMask);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(ping);
  event.xclient.data.l[1] = ++serial;  // stands in for the time stamp
  event.xclient.data.l[2] = static_cast<long>(window);
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  const long sent = serial;
  return wait_until(
      [&] {
        XEvent answer;
        while (XCheckTypedWindowEvent(display, root, ClientMessage, &answer)) {
          if (static_cast<Atom>(answer.xclient.data.l[0]) == ping && answer.xclient.data.l[1] == sent &&
              static_cast<Window>(answer.xclient.data.l[2]) == window)
            return true;
        }
        // Other notifications about the root's children are of no use here.
        while (XCheckWindowEvent(display, root, SubstructureNotifyMask, &answer)) {
        }
        return false;
      },
      timeout);
}

bool window_manager_caught_up(Display* display, std::chrono::milliseconds timeout) {
  const Window probe = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
  XMapWindow(display, probe);
  XSync(display, False);
  const bool managed = wait_until([&] { return !cardinals(display, probe, "WM_STATE").empty(); }, timeout);
  XDestroyWindow(display, probe);
  XSync(display, False);
  return managed;
}

std::optional<std::string> clipboard_text(Display* display, std::chrono::milliseconds timeout) {
  const Window requestor = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  const Atom target = XInternAtom(display, "UTF8_STRING", False);
  const Atom property = XInternAtom(display, "TREE_TEST_CLIPBOARD", False);
  XConvertSelection(display, XInternAtom(display, "CLIPBOARD", False), target, property, requestor,
                    CurrentTime);
  XSync(display, False);
  XEvent answer{};
  const bool answered = wait_until(
      [&] { return XCheckTypedWindowEvent(display, requestor, SelectionNotify, &answer) != 0; }, timeout);
  std::optional<std::string> text;
  if (answered && answer.xselection.property != None) {
    const auto value = read_property(display, requestor, "TREE_TEST_CLIPBOARD");
    if (value && value->format == 8 && value->type == target)
      text = std::string(reinterpret_cast<const char*>(value->data.get()), value->count);
  }
  XDestroyWindow(display, requestor);
  XSync(display, False);
  return text;
}

bool window_manager_running(Display* display) {
  return !cardinals(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK").empty();
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                const std::function<void()>& step) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (step) step();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void PrintTo(const Geometry& g, std::ostream* out) {
  *out << g.width << "x" << g.height << " at (" << g.x << ", " << g.y << ")";
}

}  // namespace x_inspect
