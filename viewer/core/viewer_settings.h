// The viewer's settings file "tree_window.ini": seven plain lines (x, y,
// width, height, keep-above, borderless, title), no keys or sections.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace core {

struct ViewerSettings {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool keep_above = false;  // on only when line 5 reads exactly 1
  bool borderless = false;  // on only when line 6 reads exactly 1
  std::u16string title;     // line 7 as it stands

  bool operator==(const ViewerSettings&) const = default;
};

inline constexpr int ViewerSettingsLines = 7;

// Reads the first seven lines of "tree_window.ini" in the current folder as
// file 1 (missing lines, or a missing file, read as empty) and closes it.
ViewerSettings read_viewer_settings();

// Lines 1 to 6 are numbers (parse_int, low 32 bits); line 7 is the title.
ViewerSettings parse_viewer_settings(const std::array<std::u16string, ViewerSettingsLines>& lines);

}  // namespace core
