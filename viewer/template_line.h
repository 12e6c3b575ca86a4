// The tree template "tree_display_template.txt": one node per line, level
// "," text, a final "/" marking a folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct TemplateLine {
  int32_t level = 0;
  std::u16string text;
  bool folder = false;
};

// Folder when the line's last character is "/"; level from field 1
// (parse_int, low 32 bits); text = field 2, which loses its last character
// for a folder. Fields are split at ",".
TemplateLine parse_template_line(std::u16string_view line);

// Reads "tree_display_template.txt" in the current folder as file 0 and
// hands every line, in file order, to add_node; empty lines count. A missing
// file gives no line. The file is closed afterwards.
void read_template(const std::function<void(const TemplateLine&)>& add_node);
