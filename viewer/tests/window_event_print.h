// How a window event reads in a test's failure message.
#pragma once

#include <ostream>

#include "core/event_queue.h"

namespace core {

inline void PrintTo(const WindowEvent& event, std::ostream* out) {
  *out << "{type " << event.type << ", widget " << event.widget << ", window " << event.window << ", data "
       << event.data << "}";
}

}  // namespace core
