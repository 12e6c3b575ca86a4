// libFuzzer target: any bytes as a tree template, read in slices of a size
// the input chooses, placed into a tree store; then every item is checked
// for well-formed UTF-8 and for agreeing index, path and parent.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tree/template_line.h"
#include "tree/tree_store.h"
#include "runtime/utf8.h"

using namespace tree;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int memory = memfd_create("template", MFD_CLOEXEC);
  if (memory < 0) return 0;
  size_t written = 0;
  while (written < size) {
    const ssize_t n = write(memory, data + written, size - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const std::string name = "/proc/self/fd/" + std::to_string(memory);
  TemplateReader reader;
  TreeStore store;
  size_t lines = 0;
  if (reader.open(name.c_str())) {
    const size_t slice = size > 0 ? data[0] % 7 + 1 : 1;
    const auto add = [&](const TemplateLine& line) {
      if (!runtime::is_well_formed_utf8(line.text)) std::abort();
      const std::string text(line.text);
      if (text.find('\0') != std::string::npos) std::abort();
      store.add(-1, text.c_str(), nullptr, line.level);
      ++lines;
    };
    while (reader.read(slice, add) != TemplateReader::Status::End) {
    }
  }
  close(memory);
  if (static_cast<size_t>(store.count()) != lines) std::abort();
  for (int32_t i = 0; i < store.count(); ++i) {
    const std::vector<int> path = store.path(i);
    if (store.at_path(path.data(), static_cast<int>(path.size())) != i) std::abort();
    const int32_t parent = store.parent(i);
    if (parent >= i || (parent >= 0 && store.depth(parent) + 1 != store.depth(i))) std::abort();
  }
  if (store.count() > 0) store.find(0, "a");
  return 0;
}
