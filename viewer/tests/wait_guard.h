// Makes a blocking wait_event(-1) return even when the input a test waits
// for never arrives: after the time given it posts an event of
// WaitGuard::Type, which no handler of the system uses.
#pragma once

#include <glib.h>

#include <cstdint>

#include "core/event_queue.h"

class WaitGuard {
 public:
  static constexpr int32_t Type = 99;

  explicit WaitGuard(guint milliseconds) : source_(g_timeout_add(milliseconds, &WaitGuard::fire, this)) {}
  ~WaitGuard() {
    if (!fired_) g_source_remove(source_);
  }
  WaitGuard(const WaitGuard&) = delete;
  WaitGuard& operator=(const WaitGuard&) = delete;

 private:
  static gboolean fire(gpointer self) {
    static_cast<WaitGuard*>(self)->fired_ = true;
    core::post_event(Type, 0, 0, 0);
    return FALSE;
  }

  guint source_;
  bool fired_ = false;
};
