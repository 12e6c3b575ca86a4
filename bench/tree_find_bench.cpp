// How long the tree's find takes to reach the next matching row, with texts
// folded as the find bar folds them (FoldedSearch): the worst cases, where
// the only match is the last row or there is none and every row is looked
// at, forwards and backwards. The first find of a tree folds every text
// once; that time is printed apart.
//
//   tree_find_bench [TEMPLATE]
//
// Without a template it fills the store with 1,000,000 top-level rows
// "row N"; with one, with the template's nodes as the viewer adds them.
// Prints one line per case: the rows, the needle and the milliseconds, the
// median of 5 finds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tree/folded_search.h"
#include "tree/template_line.h"
#include "tree/tree_store.h"

using namespace tree;

namespace {

double median_milliseconds(FoldedSearch& search, const TreeStore& items, int32_t after, const char* needle,
                           bool forward, int32_t& found) {
  std::vector<double> times;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    found = forward ? search.next(items, after, needle) : search.previous(items, after, needle);
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  TreeStore items;
  if (argc > 1) {
    TemplateReader reader;
    if (!reader.open(argv[1])) {
      std::fprintf(stderr, "cannot open %s\n", argv[1]);
      return 2;
    }
    std::string text;
    while (reader.read(SIZE_MAX, [&](const TemplateLine& line) {
      text.assign(line.text);
      items.add(-1, text.c_str(), nullptr, line.level);
    }) != TemplateReader::Status::End) {
    }
  } else {
    for (int i = 1; i <= 1'000'000; ++i) items.add(-1, ("row " + std::to_string(i)).c_str(), nullptr, 0);
  }
  const int32_t last = items.count() - 1;
  items.set_text(last, "the last row, Needle-Zz");
  FoldedSearch search;
  {
    const auto start = std::chrono::steady_clock::now();
    const int32_t found = search.next(items, -1, "NEEDLE-ZZ");
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%9d rows  %-40s %-24s %8.1f ms  (row %d)\n", items.count(), "first find (folds every text)",
                "NEEDLE-ZZ", ms, found);
  }
  struct Case {
    const char* what;
    int32_t after;
    const char* needle;
    bool forward;
  };
  for (const Case& c : {Case{"only match is the last row", -1, "needle-zz", true},
                        Case{"no match at all", 0, "no such text anywhere", true},
                        Case{"no match at all, backwards", last, "no such text anywhere", false},
                        Case{"a match close by", 0, "0000", true},
                        Case{"non-ASCII needle, no match", 0, "\xC3\xA9" "cole \xC3\xA9trang\xC3\xA8re", true}}) {
    int32_t found = -1;
    const double ms = median_milliseconds(search, items, c.after, c.needle, c.forward, found);
    std::printf("%9d rows  %-40s %-24s %8.1f ms  (row %d)\n", items.count(), c.what, c.needle, ms, found);
  }
  return 0;
}
