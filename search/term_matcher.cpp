#include "search/term_matcher.h"

#include <hs/hs.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "search/term_automaton.h"
#include "runtime/utf8.h"

namespace search {

const std::array<std::pair<char16_t, char16_t>, 13> accent_fold_table = {{
    {u'\u00C0', u'\u00E0'}, {u'\u00C1', u'\u00E1'}, {u'\u00C2', u'\u00E2'}, {u'\u00C3', u'\u00E3'},
    {u'\u00C7', u'\u00E7'}, {u'\u00C9', u'\u00E9'}, {u'\u00CA', u'\u00EA'}, {u'\u00CD', u'\u00ED'},
    {u'\u00D3', u'\u00F3'}, {u'\u00D4', u'\u00F4'}, {u'\u00D5', u'\u00F5'}, {u'\u00DA', u'\u00FA'},
    {u'\u00DC', u'\u00FC'},
}};

namespace {

// Terms longer than this many bytes are not compiled whole, as a very long
// pattern only makes the automaton large: their last LongTermWindow bytes
// (or a few more, to begin on a character) are, and a line where those occur
// is searched for the whole term. The last bytes rather than the first:
// terms that differ at all tend to differ at the end, as numbered names do.
constexpr size_t LongestCompiledTerm = 64;
constexpr size_t LongTermWindow = 64;
// Past this many terms (that hold no other term), the automaton searches.
constexpr size_t MostCompiledTerms = 2000;
// The automaton becomes a table of its moves when that takes at most this.
constexpr size_t TableBudget = size_t{64} << 20;
// Hyperscan takes at most 4 GiB per call; longer blocks are searched in
// overlapping windows.
constexpr size_t Window = size_t{1} << 30;

// The accented capitals of the fold table are U+00C0 to U+00DC, in UTF-8
// C3 80 to C3 9C; their small letters are 0x20 higher in the second byte.
const std::array<bool, 64> folding_capitals = [] {
  std::array<bool, 64> table{};
  for (auto [capital, small] : accent_fold_table) table[capital - 0xC0] = true;
  return table;
}();

bool folds(unsigned char lead, unsigned char second) {
  return lead == 0xC3 && second >= 0x80 && second < 0xC0 && folding_capitals[second - 0x80];
}

bool is_folded_small(unsigned char lead, unsigned char second) {
  return lead == 0xC3 && second >= 0xA0 && second < 0xC0 && folding_capitals[second - 0xA0];
}

void check(hs_error_t error) {
  if (error == HS_NOMEM) throw std::bad_alloc();
  if (error != HS_SUCCESS) throw std::runtime_error("pattern engine failed");
}

// The pattern for a folded term: every byte literal (matched without case
// for A to Z), each of the thirteen small letters as either of its forms.
std::string pattern_of(std::string_view folded) {
  std::string pattern;
  pattern.reserve(folded.size() * 4);
  char hex[8];
  for (size_t i = 0; i < folded.size(); ++i) {
    const auto byte = static_cast<unsigned char>(folded[i]);
    if (i + 1 < folded.size() && is_folded_small(byte, static_cast<unsigned char>(folded[i + 1]))) {
      const auto small = static_cast<unsigned char>(folded[i + 1]);
      std::snprintf(hex, sizeof hex, "[\\x%02X", small - 0x20);
      pattern += "\\xC3";
      pattern += hex;
      std::snprintf(hex, sizeof hex, "\\x%02X]", small);
      pattern += hex;
      ++i;
      continue;
    }
    std::snprintf(hex, sizeof hex, "\\x%02X", byte);
    pattern += hex;
  }
  return pattern;
}

// The part of a long folded term that the automaton holds: its last
// LongTermWindow bytes, from the start of the character they begin in, so
// that a folding capital is never cut from its lead byte.
std::string_view window_of(std::string_view folded) {
  size_t start = folded.size() - std::min(folded.size(), LongTermWindow);
  while (start > 0 && (static_cast<unsigned char>(folded[start]) & 0xC0) == 0x80) --start;
  return folded.substr(start);
}

// Whether the folded needle occurs in the folded haystack. glibc's memmem
// is Two-Way for long needles: linear in both, whatever their repetitions.
bool contains(std::string_view haystack, std::string_view needle) {
  return needle.size() <= haystack.size() &&
         memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

}  // namespace

struct TermMatcher::ScanState {
  TermMatcher& matcher;
  std::string_view bytes;  // all that is searched, whatever the window
  const LineBlock* block;  // its lines, or none for a single name
  size_t base = 0;         // offset of the searched window in the bytes
  size_t next = 0;         // the line of the last match, where the search of the next starts
  size_t resume = 0;       // where the search goes on once it has stopped at a line already hit
  uint8_t* hits;
};

int TermMatcher::on_match(unsigned int id, unsigned long long, unsigned long long to, unsigned int, void* context) {
  auto& state = *static_cast<ScanState*>(context);
  const size_t end = state.base + static_cast<size_t>(to);
  size_t line = 0, line_start = 0, line_end = state.bytes.size();
  if (state.block) {
    // A match never holds the terminator that ends each line: its last byte
    // tells the line. Matches come by their end, so the line is mostly the
    // same or a later one.
    const std::vector<size_t>& ends = state.block->ends;
    line = state.next;
    if (end - 1 < state.block->starts[line]) {
      line = static_cast<size_t>(std::upper_bound(ends.begin(), ends.end(), end - 1) - ends.begin());
    } else {
      while (ends[line] < end - 1) ++line;
    }
    line_start = state.block->starts[line];
    line_end = ends[line];
    state.next = line;
    if (state.hits[line]) {
      // More matches in a line already hit tell nothing: the search stops
      // and goes on after the line.
      state.resume = line_end + 1;
      state.next = line;
      return 1;
    }
  }
  // A long term's last bytes tell only that the line is worth searching:
  // each group is searched for once in the line, however often its last
  // bytes occur there, so that the work stays linear in the line.
  if (id >= state.matcher.short_terms_ &&
      !state.matcher.long_group_matches(id - state.matcher.short_terms_, line, state.bytes, line_start, line_end)) {
    if (!state.matcher.automaton_) return 0;
    // The table found no term at all in the line: the search goes on after
    // it (a single name is settled).
    state.resume = line_end + 1;
    return 1;
  }
  state.hits[line] = 1;
  state.next = line;
  // A single name: one match is enough.
  return state.block ? 0 : 1;
}

std::string fold_utf8(std::string_view well_formed) {
  std::string folded(well_formed);
  fold_in_place(folded);
  return folded;
}

void fold_in_place(std::string& folded) {
  for (size_t i = 0; i < folded.size(); ++i) {
    const auto byte = static_cast<unsigned char>(folded[i]);
    if (byte >= 'A' && byte <= 'Z') {
      folded[i] = static_cast<char>(byte + ('a' - 'A'));
    } else if (i + 1 < folded.size() && folds(byte, static_cast<unsigned char>(folded[i + 1]))) {
      folded[i + 1] = static_cast<char>(folded[i + 1] + 0x20);
      ++i;
    }
  }
}

void TermMatcher::DatabaseFree::operator()(hs_database* database) const { hs_free_database(database); }
void TermMatcher::ScratchFree::operator()(hs_scratch* scratch) const { hs_free_scratch(scratch); }

TermMatcher::TermMatcher(std::vector<std::string> terms, Engine engine) {
  // Folded where they stand: a million terms take tens of megabytes, and a
  // second copy of them would stay alive while the automaton is built.
  std::erase_if(terms, [](const std::string& term) { return term.empty(); });
  for (std::string& term : terms) {
    if (!runtime::is_well_formed_utf8(term)) term = runtime::repair_utf8(term);
    fold_in_place(term);
  }
  std::sort(terms.begin(), terms.end());
  terms.erase(std::unique(terms.begin(), terms.end()), terms.end());
  if (terms.empty()) return;
  // Then packed into one string: as strings of their own, short terms take
  // several times their bytes, for as long as the automaton needs them.
  size_t bytes = 0;
  for (const std::string& term : terms) bytes += term.size();
  std::string packed;
  packed.reserve(bytes);
  for (const std::string& term : terms) packed += term;
  std::vector<std::string_view> folded;
  folded.reserve(terms.size());
  for (size_t t = 0, at = 0; t < terms.size(); at += terms[t++].size())
    folded.push_back(std::string_view(packed).substr(at, terms[t].size()));
  // Given back (assigning {} would keep the room).
  terms = std::vector<std::string>();
  // A term that holds another term decides nothing: the other one matches
  // every line it does. Sets of real path fragments shrink a lot this way.
  automaton_ = std::make_unique<TermAutomaton>(folded);
  const size_t all = folded.size();
  std::erase_if(folded, [&](std::string_view term) { return automaton_->holds_other(term); });
  const bool dropped_many = folded.size() < all - all / 8;
  // Made again of the terms that decide, the automaton is smaller, and
  // more often small enough to be a table. Worth it only when many terms
  // went; the old one goes first, so that two never take room at once.
  if (dropped_many) {
    automaton_.reset();
    automaton_ = std::make_unique<TermAutomaton>(folded);
  }
  const bool table = automaton_->make_table(TableBudget);
  // Beyond some thousands of terms, compiling them takes longer than the
  // automaton's whole search (which finds the same lines: the terms left
  // out decide nothing); without the engine (a processor it does not
  // support, a pattern it refuses) the automaton searches as well.
  if (engine == Engine::Automaton || (engine == Engine::Chosen && folded.size() > MostCompiledTerms) ||
      hs_valid_platform() != HS_SUCCESS)
    return;
  std::vector<std::string> compiled;
  for (std::string_view term : folded) (term.size() > LongestCompiledTerm ? long_terms_ : compiled).emplace_back(term);
  // Long terms that end alike, next to each other.
  std::sort(long_terms_.begin(), long_terms_.end(), [](const std::string& a, const std::string& b) {
    return std::pair(window_of(a), std::string_view(a)) < std::pair(window_of(b), std::string_view(b));
  });
  short_terms_ = static_cast<unsigned>(compiled.size());
  std::vector<std::string> patterns;
  for (const std::string& folded : compiled) patterns.push_back(pattern_of(folded));
  for (size_t t = 0; t < long_terms_.size(); ++t) {
    const std::string_view window = window_of(long_terms_[t]);
    if (t > 0 && window_of(long_terms_[t - 1]) == window) continue;
    group_starts_.push_back(t);
    patterns.push_back(pattern_of(window));
    longest_ = std::max(longest_, window.size());
  }
  group_starts_.push_back(long_terms_.size());
  group_settled_.assign(group_starts_.size() - 1, SIZE_MAX);
  for (const std::string& folded : compiled) longest_ = std::max(longest_, folded.size());
  std::vector<const char*> expressions;
  std::vector<unsigned> flags(patterns.size(), HS_FLAG_CASELESS);
  std::vector<unsigned> ids(patterns.size());
  for (size_t i = 0; i < patterns.size(); ++i) {
    expressions.push_back(patterns[i].c_str());
    ids[i] = static_cast<unsigned>(i);  // distinct ids compile much faster
  }
  hs_database_t* database = nullptr;
  hs_compile_error_t* error = nullptr;
  const hs_error_t result = hs_compile_multi(expressions.data(), flags.data(), ids.data(),
                                             static_cast<unsigned>(patterns.size()), HS_MODE_BLOCK,
                                             nullptr, &database, &error);
  if (result != HS_SUCCESS) {
    const bool out_of_memory = error && error->message &&
                               std::string_view(error->message).find("memory") != std::string_view::npos;
    hs_free_compile_error(error);
    if (out_of_memory) throw std::bad_alloc();
    long_terms_.clear();
    return;
  }
  // Where nearly every line holds a term, a table finds each line's first one
  // in fewer steps than the engine takes to start on the line; elsewhere the
  // engine, which skips through the bytes, is faster.
  if (!table || engine == Engine::Compiled) automaton_.reset();
  database_.reset(database);
  hs_scratch_t* scratch = nullptr;
  check(hs_alloc_scratch(database, &scratch));
  scratch_.reset(scratch);
}

TermMatcher::~TermMatcher() = default;

void TermMatcher::scan(std::string_view bytes, const LineBlock* block, std::vector<uint8_t>& hits,
                       const std::vector<uint8_t>* decided) {
  if (!database_) return;
  std::fill(group_settled_.begin(), group_settled_.end(), SIZE_MAX);
  folded_line_ = line_settled_ = SIZE_MAX;
  ScanState state{*this, bytes, block, 0, 0, 0, hits.data()};
  // Windows overlap by the longest pattern less one byte, so that every
  // match lies whole in one of them.
  const size_t overlap = longest_ - 1;
  for (size_t from = 0; from < bytes.size();) {
    if (block) {
      // The line that holds the search's first byte. Lines hit already need
      // no search, nor does a line that repeats the one before it when a
      // term was found in that one (a line decided beforehand tells nothing
      // of its bytes).
      size_t line = static_cast<size_t>(
          std::upper_bound(block->ends.begin(), block->ends.end(), from) - block->ends.begin());
      auto found_in = [&](size_t before) { return hits[before] && !(decided && (*decided)[before]); };
      while (line < block->count() &&
             (hits[line] || (line > 0 && found_in(line - 1) && block->line(line) == block->line(line - 1)))) {
        hits[line] = 1;
        ++line;
      }
      if (line == block->count()) return;
      from = std::max(from, block->starts[line]);
      state.next = line;
    }
    const size_t length = std::min(bytes.size() - from, Window);
    state.base = from;
    const hs_error_t result = hs_scan(database_.get(), bytes.data() + from, static_cast<unsigned>(length), 0,
                                      scratch_.get(), on_match, &state);
    if (result == HS_SCAN_TERMINATED) {
      if (!block) return;
      from = state.resume;
      continue;
    }
    check(result);
    if (from + length == bytes.size()) return;
    from += length - std::min(overlap, length - 1);
  }
}

bool TermMatcher::long_group_matches(unsigned group, size_t line, std::string_view bytes, size_t start,
                                     size_t end) {
  if (automaton_) {
    // The table holds every term: one pass over the line decides it, for
    // all groups at once.
    if (line_settled_ == line) return false;
    line_settled_ = line;
    return automaton_->found_in(bytes.substr(start, end - start));
  }
  if (group_settled_[group] == line) return false;
  group_settled_[group] = line;
  if (folded_line_ != line) {
    // The line is well-formed, or its result is decided again after the
    // scan: folded as a whole, its characters fold as they do in place.
    folded_.assign(bytes.substr(start, end - start));
    fold_in_place(folded_);
    folded_line_ = line;
  }
  for (size_t t = group_starts_[group]; t < group_starts_[group + 1]; ++t)
    if (contains(folded_, long_terms_[t])) return true;
  return false;
}

bool TermMatcher::matches(std::string_view name) {
  std::string_view well_formed = name;
  if (!runtime::is_well_formed_utf8(name)) {
    runtime::repair_utf8(name, repaired_);
    well_formed = repaired_;
  }
  if (!database_) return automaton_ && automaton_->found_in(well_formed);
  std::vector<uint8_t> hit(1, 0);
  if (!well_formed.empty()) scan(well_formed, nullptr, hit);
  return hit[0];
}

void TermMatcher::mark_lines(const LineBlock& block, std::vector<uint8_t>& hits, const std::vector<uint8_t>* decided) {
  if (decided) hits.assign(decided->begin(), decided->begin() + static_cast<std::ptrdiff_t>(block.count()));
  else hits.assign(block.count(), 0);
  if (block.count() == 0) return;
  // The lists searched with lines decided and without come in turns, each
  // with its own share of lines hit.
  bool& dense = dense_[decided != nullptr];
  if (automaton_ && (!database_ || dense)) {
    for (size_t i = 0; i < block.count(); ++i) {
      if (hits[i]) continue;
      std::string_view line = block.line(i);
      if (!block.ascii && !runtime::is_well_formed_utf8(line)) {
        runtime::repair_utf8(line, repaired_);
        line = repaired_;
      }
      hits[i] = automaton_->found_in(line);
    }
  } else {
    scan(block.bytes.view(), &block, hits, decided);
    if (!block.ascii && !runtime::is_well_formed_utf8(block.bytes.view())) {
      for (size_t i = 0; i < block.count(); ++i) {
        if (decided && (*decided)[i]) continue;
        const std::string_view line = block.line(i);
        if (!runtime::is_well_formed_utf8(line)) hits[i] = matches(line);
      }
    }
  }
  size_t searched = 0, hit = 0;
  for (size_t i = 0; i < block.count(); ++i) {
    if (decided && (*decided)[i]) continue;
    ++searched;
    hit += hits[i];
  }
  if (searched > 0) dense = hit * 8 > searched * 7;
}

}  // namespace search
