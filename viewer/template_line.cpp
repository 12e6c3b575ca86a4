#include "template_line.h"

#include "string_functions.h"
#include "text_file.h"

namespace {

constexpr int template_file = 0;

}  // namespace

TemplateLine parse_template_line(std::u16string_view line) {
  TemplateLine node;
  node.folder = strings_equal(string_right(line, 1), u"/");
  node.level = static_cast<int32_t>(parse_int(string_field(line, 1, u",")));
  node.text = string_field(line, 2, u",");
  // This drops the last character of field 2, which is the "/" only when the
  // line has a single ",".
  if (node.folder) node.text = string_left(node.text, string_length(node.text) - 1);
  return node;
}

void read_template(const std::function<void(const TemplateLine&)>& add_node) {
  if (!open_read(template_file, u"tree_display_template.txt")) return;
  while (!at_eof(template_file)) add_node(parse_template_line(read_line(template_file)));
  close_file(template_file);
}
