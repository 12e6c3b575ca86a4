// Starts a program, asks its first top-level window to close as soon as the
// window is mapped (the WM_DELETE_WINDOW message a window manager sends when
// the user closes a window), and waits for the program to end.
//
//   viewer_close_on_map [--timeout SECONDS] [--when-idle] [--last-row TEXT] -- program [arguments...]
//
// Prints one line: "seconds=S mapped=M status=C peak_kb=K", S being the time
// from the start until the program has ended, M the time until its window
// was mapped, C its exit status and K the peak resident size of the program
// and its children (the program's own when it runs no other). Needs an X
// server without a window manager, used by nothing else, in DISPLAY.
//
// --when-idle asks for the close only once the program has gone idle after
// its window was mapped: its CPU time has not grown for IDLE_SECONDS (0.5).
// The line then also has "busy=B cpu=U": B the time from the start until the
// program last used the CPU, U the CPU seconds it used up to then.
//
// --last-row TEXT measures the whole tree loaded, as a user finds it: once
// the window is mapped it presses End and then Ctrl+C (XTest) every 20 ms
// (--press-every SECONDS)
// until the clipboard holds TEXT, the template's last row, then waits for
// the program to go idle as --when-idle does. The line also has "loaded=L",
// L the time until the clipboard first held TEXT; "busy" then is the time to
// the end of the program's work.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/x_client_message.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double IdleSeconds = 0.5;

// User and system CPU seconds of a running process, from /proc.
double cpu_seconds(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return -1;
  char buffer[1024] = {};
  const size_t got = std::fread(buffer, 1, sizeof buffer - 1, file);
  std::fclose(file);
  buffer[got] = 0;
  // Fields after the command name, which ends at the last ")".
  const char* p = std::strrchr(buffer, ')');
  if (!p) return -1;
  unsigned long utime = 0, stime = 0;
  // state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime stime
  if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
    return -1;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Presses End, then Ctrl+C, in the window that has the keyboard.
void press_end_and_copy(Display* display) {
  const auto tap = [&](KeySym keysym) {
    const KeyCode code = XKeysymToKeycode(display, keysym);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
  };
  tap(XK_End);
  const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
  XTestFakeKeyEvent(display, control, True, CurrentTime);
  tap(XK_c);
  XTestFakeKeyEvent(display, control, False, CurrentTime);
  XFlush(display);
}

// Asks the clipboard's owner for its text, into a property of `requestor`;
// the answer comes as a SelectionNotify.
void ask_clipboard(Display* display, Window requestor) {
  XConvertSelection(display, XInternAtom(display, "CLIPBOARD", False), XInternAtom(display, "UTF8_STRING", False),
                    XInternAtom(display, "GW_BENCH_CLIP", False), requestor, CurrentTime);
  XFlush(display);
}

std::string clipboard_answer(Display* display, const XSelectionEvent& event) {
  if (event.property == None) return {};
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  std::string text;
  if (XGetWindowProperty(display, event.requestor, event.property, 0, 1 << 16, True, AnyPropertyType, &type,
                         &format, &count, &remaining, &data) == Success &&
      data && format == 8)
    text.assign(reinterpret_cast<const char*>(data), count);
  if (data) XFree(data);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  double timeout = 600;
  bool when_idle = false;
  const char* last_row = nullptr;
  double press_every = 0.02;
  int first = 1;
  for (; first < argc; ++first) {
    if (std::strcmp(argv[first], "--timeout") == 0 && first + 1 < argc) {
      timeout = std::atof(argv[++first]);
    } else if (std::strcmp(argv[first], "--when-idle") == 0) {
      when_idle = true;
    } else if (std::strcmp(argv[first], "--press-every") == 0 && first + 1 < argc) {
      press_every = std::atof(argv[++first]);
    } else if (std::strcmp(argv[first], "--last-row") == 0 && first + 1 < argc) {
      last_row = argv[++first];
      when_idle = true;
    } else if (std::strcmp(argv[first], "--") == 0) {
      ++first;
      break;
    } else {
      break;
    }
  }
  if (first >= argc) {
    std::fprintf(stderr, "usage: %s [--timeout SECONDS] [--when-idle] -- program [arguments...]\n",
                 argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "no X display\n");
    return 2;
  }
  // Map notifications of every top-level window, before the program starts.
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  // Where the clipboard's answers arrive.
  const Window requestor = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  XSync(display, False);

  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    close(ConnectionNumber(display));
    execvp(argv[first], argv + first);
    _exit(127);
  }
  if (child < 0) return 2;

  double mapped = -1;
  Window window = None;
  bool closed = false;
  double last_cpu = -1;
  double busy = -1;
  double busy_cpu = -1;
  double loaded = -1;
  double last_press = -1;
  int status = 0;
  struct rusage usage {};
  for (;;) {
    pid_t done = wait4(child, &status, WNOHANG, &usage);
    if (done == child) break;
    if (seconds_since(start) > timeout) {
      kill(child, SIGKILL);
      wait4(child, &status, 0, &usage);
      std::printf("timeout after %.3f s\n", seconds_since(start));
      return 1;
    }
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && mapped < 0 && !event.xmap.override_redirect) {
        mapped = seconds_since(start);
        window = event.xmap.window;
        busy = mapped;
        if (last_row) XSetInputFocus(display, window, RevertToParent, CurrentTime);
        if (!when_idle) {
          test_support::send_delete_window(display, window);
          closed = true;
        }
      }
      if (event.type == SelectionNotify && last_row && loaded < 0 &&
          clipboard_answer(display, event.xselection) == last_row)
        loaded = seconds_since(start);
    }
    if (last_row && loaded < 0 && window != None && seconds_since(start) - last_press >= press_every) {
      last_press = seconds_since(start);
      press_end_and_copy(display);
      ask_clipboard(display, requestor);
    }
    // Idle counts only once the whole tree is in.
    if (last_row && loaded < 0) {
      busy = seconds_since(start);
    } else if (when_idle && window != None && !closed) {
      const double cpu = cpu_seconds(child);
      if (cpu != last_cpu) {
        last_cpu = cpu;
        busy = seconds_since(start);
        busy_cpu = cpu;
      } else if (seconds_since(start) - busy >= IdleSeconds) {
        test_support::send_delete_window(display, window);
        closed = true;
      }
    }
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, 1);
  }
  const double elapsed = seconds_since(start);
  std::printf("seconds=%.3f mapped=%.3f status=%d peak_kb=%ld", elapsed, mapped,
              WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), usage.ru_maxrss);
  if (when_idle) std::printf(" busy=%.3f cpu=%.3f", busy, busy_cpu);
  if (last_row) std::printf(" loaded=%.3f", loaded);
  std::printf("\n");
  XCloseDisplay(display);
  return 0;
}
