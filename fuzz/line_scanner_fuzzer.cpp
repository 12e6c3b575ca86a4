// Fuzzes the line scanner against the line rules written out plainly: the
// first byte chooses whether a byte-order mark is skipped and how the rest
// is cut into the pieces a reader would fill in, the rest is the text.
// Wherever the pieces are cut, and however few lines are taken at a time,
// the lines are the same as the plain rules give.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/line_scanner.h"
#include "tests/support/reference_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const bool skip_mark = choice & 1;
  const size_t piece = 1 + ((choice >> 1) & 0x1F);  // bytes per fill
  const size_t per_call = choice & 0x40 ? 1 : SIZE_MAX;

  runtime::LineScanner scanner(skip_mark ? runtime::ByteOrderMark::Skip : runtime::ByteOrderMark::Keep);
  std::vector<std::string> lines;
  std::string pending;
  for (size_t at = 0; at < text.size() || at == 0;) {
    const size_t take = std::min(piece, text.size() - at);
    pending.append(text.substr(at, take));
    at += take;
    const bool end = at == text.size();
    for (;;) {
      const size_t before = lines.size();
      const size_t used = scanner.scan(pending, end, per_call, [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
      });
      if (used > pending.size()) std::abort();
      pending.erase(0, used);
      if (lines.size() == before || pending.empty()) break;
    }
    if (end) break;
  }
  const auto mark = skip_mark ? test_support::StartMark::Skip : test_support::StartMark::Keep;
  if (lines != test_support::reference_lines(text, mark)) std::abort();
  return 0;
}
