#include "viewer_settings.h"

#include "string_functions.h"
#include "text_file.h"

namespace {

constexpr int settings_file = 1;

// Numbers read from text keep the low 32 bits of their 64-bit value.
int32_t number_line(std::u16string_view line) { return static_cast<int32_t>(parse_int(line)); }

}  // namespace

ViewerSettings parse_viewer_settings(const std::array<std::u16string, ViewerSettingsLines>& lines) {
  ViewerSettings settings;
  settings.x = number_line(lines[0]);
  settings.y = number_line(lines[1]);
  settings.width = number_line(lines[2]);
  settings.height = number_line(lines[3]);
  settings.keep_above = number_line(lines[4]) == 1;
  settings.borderless = number_line(lines[5]) == 1;
  settings.title = lines[6];
  return settings;
}

ViewerSettings read_viewer_settings() {
  // A file that fails to open reads as seven empty lines.
  open_read(settings_file, u"tree_window.ini");
  std::array<std::u16string, ViewerSettingsLines> lines;
  for (auto& line : lines) line = read_line(settings_file);
  close_file(settings_file);
  return parse_viewer_settings(lines);
}
