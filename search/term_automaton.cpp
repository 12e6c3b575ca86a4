#include "search/term_automaton.h"

#include <algorithm>
#include <deque>
#include <new>

#include "search/term_matcher.h"

namespace search {

namespace {

// The byte that replaces `byte` in the folded text, given the byte before
// it: A to Z lowered, the second byte of a folding capital (after C3) raised
// to its small letter's.
struct FoldTable {
  std::array<unsigned char, 256> plain{}, after_c3{};
  FoldTable() {
    for (unsigned b = 0; b < 256; ++b) plain[b] = after_c3[b] = static_cast<unsigned char>(b);
    for (unsigned b = 'A'; b <= 'Z'; ++b) plain[b] = after_c3[b] = static_cast<unsigned char>(b + ('a' - 'A'));
    for (auto [capital, small] : accent_fold_table)
      after_c3[0x80 + (capital - 0xC0)] = static_cast<unsigned char>(0x80 + (small - 0xC0));
  }
};
const FoldTable fold_table;

}  // namespace

template <typename Visit>
void TermAutomaton::breadth_first(Visit&& visit) const {
  // A queue that gives back its room as it is worked off: it holds two
  // levels of the trie at most, where a list of all states would take as
  // much room as the failure links themselves.
  std::deque<uint32_t> waiting(1, 0);
  while (!waiting.empty()) {
    const uint32_t s = waiting.front();
    waiting.pop_front();
    visit(s);
    for (uint32_t e = first_edge_[s]; e < first_edge_[s + 1]; ++e) waiting.push_back(edge_targets_[e]);
  }
}

TermAutomaton::TermAutomaton(const std::vector<std::string_view>& folded) {
  // A term adds the states past the part it shares with the term before it.
  auto shared_with_last = [&](size_t t) {
    if (t == 0) return size_t{0};
    const std::string_view last = folded[t - 1], term = folded[t];
    size_t shared = 0;
    while (shared < last.size() && shared < term.size() && last[shared] == term[shared]) ++shared;
    return shared;
  };
  size_t bytes = 0, states = 1;
  for (size_t t = 0; t < folded.size(); ++t) {
    bytes += folded[t].size();
    states += folded[t].size() - shared_with_last(t);
    shortest_ = std::min(shortest_, folded[t].size());
  }
  if (bytes >= EndsTerm) throw std::bad_alloc();
  // The trie, state by state in the terms' order, so that a state's edges
  // are made in byte order. Counted first, its arrays are made at their
  // size: for a million terms, growing them by doubling would take tens of
  // megabytes more than the automaton while it is built.
  std::vector<uint32_t> parent, path(1, 0);  // path: the states of the last term, by depth
  std::vector<unsigned char> byte;
  parent.reserve(states);
  byte.reserve(states);
  ends_term_.reserve(states);
  parent.push_back(0);
  byte.push_back(0);
  ends_term_.push_back(0);
  for (size_t t = 0; t < folded.size(); ++t) {
    const std::string_view term = folded[t];
    const size_t shared = shared_with_last(t);
    path.resize(shared + 1);
    for (size_t i = shared; i < term.size(); ++i) {
      path.push_back(static_cast<uint32_t>(parent.size()));
      parent.push_back(path[i]);
      byte.push_back(static_cast<unsigned char>(term[i]));
      ends_term_.push_back(0);
    }
    ends_term_[path.back()] = 1;
  }
  // The edges grouped by state: counted one place further on, summed, then
  // placed with entry s + 1 as state s's cursor, which leaves entry s at
  // the start of state s's edges. Each array goes as soon as it is used.
  first_edge_.assign(states + 2, 0);
  for (size_t s = 1; s < states; ++s) ++first_edge_[parent[s] + 2];
  for (size_t s = 2; s < states + 2; ++s) first_edge_[s] += first_edge_[s - 1];
  edge_targets_.resize(states - 1);
  for (size_t s = 1; s < states; ++s) edge_targets_[first_edge_[parent[s] + 1]++] = static_cast<uint32_t>(s);
  first_edge_.pop_back();
  parent = std::vector<uint32_t>();  // given back: assigning {} keeps the room
  edge_bytes_.resize(states - 1);
  for (size_t e = 0; e + 1 < states; ++e) edge_bytes_[e] = byte[edge_targets_[e]];
  byte = std::vector<unsigned char>();
  for (uint32_t e = first_edge_[0]; e < first_edge_[1]; ++e) root_next_[edge_bytes_[e]] = edge_targets_[e];
  // Failure links breadth first, so that every state's link leads to a
  // shallower state whose link is known.
  fail_.assign(states, 0);
  breadth_first([&](uint32_t s) {
    for (uint32_t e = first_edge_[s]; e < first_edge_[s + 1]; ++e) {
      const uint32_t t = edge_targets_[e];
      fail_[t] = s == 0 ? 0 : next(fail_[s], edge_bytes_[e]);
      ends_term_[t] = ends_term_[t] | ends_term_[fail_[t]];
    }
  });
}

uint32_t TermAutomaton::next(uint32_t state, unsigned char byte) const {
  while (state != 0) {
    const auto from = edge_bytes_.begin() + first_edge_[state], to = edge_bytes_.begin() + first_edge_[state + 1];
    const auto edge = std::lower_bound(from, to, byte);
    if (edge != to && *edge == byte) return edge_targets_[static_cast<size_t>(edge - edge_bytes_.begin())];
    state = fail_[state];
  }
  return root_next_[byte];
}

bool TermAutomaton::make_table(size_t budget) {
  std::array<uint8_t, 256> class_of{};
  size_t classes = 1;
  for (const unsigned char b : edge_bytes_)
    if (class_of[b] == 0) class_of[b] = static_cast<uint8_t>(classes++);
  const size_t states = fail_.size();
  if (classes > 255 || states > budget / sizeof(uint32_t) / classes) return false;
  table_.assign(states * classes, 0);
  auto entry = [&](uint32_t state) { return ends_term_[state] ? state | EndsTerm : state; };
  // Breadth first: a state's row is its failure state's (shallower, done),
  // with its own edges over it.
  breadth_first([&](uint32_t s) {
    uint32_t* row = &table_[s * classes];
    if (s != 0) std::copy_n(&table_[fail_[s] * classes], classes, row);
    for (uint32_t e = first_edge_[s]; e < first_edge_[s + 1]; ++e) row[class_of[edge_bytes_[e]]] = entry(edge_targets_[e]);
  });
  classes_ = classes;
  for (unsigned b = 0; b < 256; ++b) {
    plain_class_[b] = class_of[fold_table.plain[b]];
    after_c3_class_[b] = class_of[fold_table.after_c3[b]];
  }
  return true;
}

bool TermAutomaton::found_in(std::string_view well_formed) const {
  // Folding keeps the length: a text shorter than every term holds none.
  if (well_formed.size() < shortest_) return false;
  if (!table_.empty()) {
    uint32_t state = 0;
    unsigned char before = 0;
    for (const char c : well_formed) {
      const auto byte = static_cast<unsigned char>(c);
      state = table_[state * classes_ + (before == 0xC3 ? after_c3_class_[byte] : plain_class_[byte])];
      if (state & EndsTerm) return true;
      before = byte;
    }
    return false;
  }
  uint32_t state = 0;
  unsigned char before = 0;
  for (const char c : well_formed) {
    const auto byte = static_cast<unsigned char>(c);
    state = next(state, before == 0xC3 ? fold_table.after_c3[byte] : fold_table.plain[byte]);
    if (ends_term_[state]) return true;
    before = byte;
  }
  return false;
}

bool TermAutomaton::holds_other(std::string_view folded_term) const {
  uint32_t state = 0;
  for (size_t i = 0; i < folded_term.size(); ++i) {
    state = next(state, static_cast<unsigned char>(folded_term[i]));
    // At the last byte the state is the term's own; another term ends
    // there only through its failure link.
    if (i + 1 < folded_term.size() ? ends_term_[state] : ends_term_[fail_[state]]) return true;
  }
  return false;
}

}  // namespace search
