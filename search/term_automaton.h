// An Aho-Corasick automaton over folded terms, for term sets so large that
// compiling them into the multi-pattern engine would take longer than the
// search itself. Built in time linear in the terms' bytes; a search reads
// every byte of the text once (plus the failure steps those reads pay for).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace search {

class TermAutomaton {
 public:
  // `folded` are distinct, non-empty, folded terms in byte order.
  // Throws std::bad_alloc when memory runs out, or when the terms have more
  // bytes than the automaton can number.
  explicit TermAutomaton(const std::vector<std::string_view>& folded);

  // Makes the automaton a full table of its moves, when that takes at most
  // `budget` bytes: a search then costs one look-up per byte. Returns
  // whether it did.
  bool make_table(size_t budget);

  // Whether some term occurs in the folded form of the well-formed text,
  // which is folded as it is read.
  bool found_in(std::string_view well_formed) const;
  // Whether some other term of the set occurs in this term (folded): such a
  // term never decides anything, as the other one matches wherever it does.
  bool holds_other(std::string_view folded_term) const;

 private:
  uint32_t next(uint32_t state, unsigned char byte) const;
  // Calls visit(state) for every state, the root first and each one after
  // every shallower state.
  template <typename Visit>
  void breadth_first(Visit&& visit) const;

  // State 0 is the root. The edges out of state s are edge_bytes_ and
  // edge_targets_ [first_edge_[s], first_edge_[s + 1]), by byte.
  std::vector<uint32_t> first_edge_, edge_targets_;
  std::vector<unsigned char> edge_bytes_;
  std::vector<uint32_t> fail_;
  std::vector<uint8_t> ends_term_;  // some term ends here, or at a state fail_ leads to
  std::array<uint32_t, 256> root_next_{};
  // The table: one row per state, one column per class of bytes (those of
  // the terms, each its own class, and all others as class 0); an entry is
  // the next state, with EndsTerm set where a term ends.
  static constexpr uint32_t EndsTerm = uint32_t{1} << 31;
  std::vector<uint32_t> table_;
  size_t classes_ = 0;
  std::array<uint8_t, 256> plain_class_{}, after_c3_class_{};  // of each byte read, folded
  size_t shortest_ = SIZE_MAX;  // bytes of the shortest term
};

}  // namespace search
