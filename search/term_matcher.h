// The matching side of a search: all terms compiled once into one
// multi-pattern automaton (Hyperscan), run over whole blocks of lines; for
// term sets too large to compile quickly, an Aho-Corasick automaton
// (term_automaton.h) instead. Terms that hold another term are dropped
// first: they never decide a line.
//
// The rules are those of term_matches (term_matching.h) on names and terms
// decoded as strict UTF-8, each maximal ill-formed subpart standing for one
// U+FFFD: A to Z and the thirteen accented capitals fold to their small
// letters, nothing else, and a term matches a name that holds its folded form
// as one contiguous piece. Well-formed UTF-8 is self-synchronising, so these
// rules hold on the bytes themselves: a line of well-formed bytes is searched
// as it is, and only a line with ill-formed bytes is repaired first.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "search/line_block.h"
#include "search/term_automaton.h"

struct hs_database;
struct hs_scratch;

namespace search {

// The accented capitals that fold, with their small letters.
extern const std::array<std::pair<char16_t, char16_t>, 13> accent_fold_table;

class TermMatcher {
 public:
  // Which engine searches: the one that suits the terms (the automaton for
  // very many, its table beside the compiled engine where that fits), the
  // automaton whatever the terms, or the compiled engine alone. All give
  // the same results.
  enum class Engine { Chosen, Automaton, Compiled };
  // `terms` are the terms' lines as read; empty terms match nothing. They
  // are taken, to be folded in place: pass them moved when they are not
  // needed afterwards. Throws std::bad_alloc when memory runs out.
  explicit TermMatcher(std::vector<std::string> terms, Engine engine = Engine::Chosen);
  ~TermMatcher();
  TermMatcher(const TermMatcher&) = delete;
  TermMatcher& operator=(const TermMatcher&) = delete;

  // Sets hits[i] to 1 for every line i of the block that some term matches,
  // and to 0 for the others. Lines that are `decided` (non-zero there) are
  // not searched and count as hit. Not for use by two threads at once.
  void mark_lines(const LineBlock& block, std::vector<uint8_t>& hits, const std::vector<uint8_t>* decided = nullptr);
  // True when some term matches the name (any bytes, no terminator).
  bool matches(std::string_view name);

 private:
  struct ScanState;
  static int on_match(unsigned int id, unsigned long long from, unsigned long long to, unsigned int flags,
                      void* context);
  void scan(std::string_view bytes, const LineBlock* block, std::vector<uint8_t>& hits,
            const std::vector<uint8_t>* decided = nullptr);
  // Whether some long term of the group occurs in the line (bytes
  // [start, end) of `bytes`), searched for once per line and group.
  bool long_group_matches(unsigned group, size_t line, std::string_view bytes, size_t start, size_t end);

  struct DatabaseFree {
    void operator()(hs_database* database) const;
  };
  struct ScratchFree {
    void operator()(hs_scratch* scratch) const;
  };
  std::unique_ptr<hs_database, DatabaseFree> database_;
  std::unique_ptr<hs_scratch, ScratchFree> scratch_;
  size_t longest_ = 0;  // bytes of the longest pattern in the automaton
  // The automaton's patterns: the short terms whole (ids below
  // short_terms_), then the last bytes of the long terms, folded, one
  // pattern for each group of long terms that end alike.
  unsigned short_terms_ = 0;
  std::vector<std::string> long_terms_;  // ordered so that groups are runs
  std::vector<size_t> group_starts_;     // group g is long_terms_[starts[g], starts[g + 1])
  // The line in which each group was last searched for, in this scan.
  std::vector<size_t> group_settled_;
  size_t folded_line_ = SIZE_MAX;  // the line folded_ holds, in this scan
  size_t line_settled_ = SIZE_MAX;  // the line the table decided, in this scan
  // Instead of the engine for very many terms (or when none works); beside
  // it, as a table, for blocks where nearly every line holds a term.
  std::unique_ptr<TermAutomaton> automaton_;
  // Whether 7 in 8 lines searched were hit, in the last block without lines
  // decided and in the last with: the next such block then goes to the
  // automaton's table.
  bool dense_[2] = {false, false};
  std::string repaired_, folded_;  // working space
};

// The folded form of well-formed UTF-8: A to Z lowered, the thirteen accented
// capitals replaced by their small letters, every other byte kept.
std::string fold_utf8(std::string_view well_formed);
// The same, in place.
void fold_in_place(std::string& well_formed);

}  // namespace search
