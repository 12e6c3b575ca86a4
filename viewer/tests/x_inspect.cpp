#include "x_inspect.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

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

void send_delete_window(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
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
