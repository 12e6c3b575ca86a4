#include "tests/support/reference_lines.h"

namespace test_support {

std::vector<std::string> reference_lines(std::string_view bytes, StartMark mark) {
  if (mark == StartMark::Skip && bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // bytes since the last end: a final line without an end
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\n' && c != '\r' && c != '\0') {
      line.push_back(c);
      open = true;
      continue;
    }
    lines.push_back(line);
    line.clear();
    open = false;
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
  }
  if (open) lines.push_back(line);
  return lines;
}

}  // namespace test_support
