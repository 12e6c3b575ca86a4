// Fuzzes the term matcher against the matching rules themselves.
//
// The input holds terms, one per line, up to the first zero byte, and names,
// one per line, after it; any bytes, well-formed or not. Every name must be
// marked in a block, and matched alone, by every engine, exactly when some term matches it by
// term_matches on the texts decoded with replacement.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/utf8.h"
#include "search/term_matcher.h"
#include "tests/support/reference_matching.h"

using namespace search;

namespace {

std::vector<std::string> split_lines(std::string_view bytes) {
  std::vector<std::string> lines;
  for (size_t start = 0; start <= bytes.size();) {
    const size_t end = std::min(bytes.find('\n', start), bytes.size());
    lines.emplace_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void check(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  if (split == std::string_view::npos) return 0;
  const std::vector<std::string> terms = split_lines(input.substr(0, split));
  std::vector<std::string> names = split_lines(input.substr(split + 1));
  for (std::string& name : names) std::erase_if(name, [](char c) { return c == '\0' || c == '\r'; });

  LineBlock block;
  for (const std::string& name : names) block.add(name);
  std::vector<bool> expected;
  for (const std::string& name : names) expected.push_back(test_support::reference_matches(name, terms));
  for (auto engine : {TermMatcher::Engine::Chosen, TermMatcher::Engine::Automaton, TermMatcher::Engine::Compiled}) {
    TermMatcher matcher(terms, engine);
    std::vector<uint8_t> hits;
    matcher.mark_lines(block, hits);
    check(hits.size() == names.size());
    for (size_t n = 0; n < names.size(); ++n) {
      check((hits[n] != 0) == expected[n]);
      check(matcher.matches(names[n]) == expected[n]);
    }
  }
  return 0;
}
