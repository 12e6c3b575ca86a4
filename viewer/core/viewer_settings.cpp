#include "core/viewer_settings.h"

#include <sys/stat.h>

#include "runtime/string_functions.h"
#include "runtime/text_file.h"
#include "runtime/utf8.h"

namespace core {

namespace {

constexpr int SettingsFile = 1;

// Numbers read from text keep the low 32 bits of their 64-bit value.
int32_t number_line(std::u16string_view line) { return static_cast<int32_t>(runtime::parse_int(line)); }

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
  std::array<std::u16string, ViewerSettingsLines> lines;
  // Only a regular file is read: a FIFO would hold the start up until some
  // writer came. Anything else, or a file that fails to open, reads as seven
  // empty lines.
  struct stat info {};
  if (stat("tree_window.ini", &info) != 0 || !S_ISREG(info.st_mode)) return parse_viewer_settings(lines);
  if (!runtime::open_read(SettingsFile, u"tree_window.ini")) return parse_viewer_settings(lines);
  runtime::skip_utf8_bom(SettingsFile);
  std::string bytes;
  for (auto& line : lines) {
    bytes.clear();
    runtime::read_line_bytes(SettingsFile, bytes);
    runtime::decode_utf8_replacing(bytes, line);
  }
  runtime::close_file(SettingsFile);
  return parse_viewer_settings(lines);
}

}  // namespace core
