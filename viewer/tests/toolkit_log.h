// Records what the toolkit would print (warnings, criticals, messages) while
// it exists, so that a test can demand that nothing was said.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

class ToolkitLog {
 public:
  ToolkitLog() : previous_(g_log_set_default_handler(&ToolkitLog::record, this)) {}
  ~ToolkitLog() { g_log_set_default_handler(previous_, nullptr); }
  ToolkitLog(const ToolkitLog&) = delete;
  ToolkitLog& operator=(const ToolkitLog&) = delete;

  const std::vector<std::string>& messages() const { return messages_; }

 private:
  static void record(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer self) {
    // Debug and info output stays silent unless asked for.
    if (level & (G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG)) return;
    static_cast<ToolkitLog*>(self)->messages_.push_back(std::string(domain ? domain : "") + ": " +
                                                        (message ? message : ""));
  }

  GLogFunc previous_;
  std::vector<std::string> messages_;
};
