// Finding an item by a part of its text the way the toolkit's own type-ahead
// compares texts: both the text and the needle compatibility-normalised
// (g_utf8_normalize, G_NORMALIZE_ALL) and then case-folded
// (g_utf8_casefold), so "école" finds "ÉCOLE" and a precomposed "café"
// finds "cafe" with a combining accent.
//
// Folding a text takes far longer than looking through it, so the folded
// texts are made once, on the first find, and kept: later finds look
// through one block of memory, a million rows in a few milliseconds. Items
// appended since are folded on the next find; any other change to the
// store's texts or indexes folds them all again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tree/tree_store.h"

namespace tree {

// The text as finding compares it; valid UTF-8 in, valid UTF-8 out (a text
// that is not valid UTF-8 is compared as it is).
std::string fold_text(std::string_view utf8);

class FoldedSearch {
 public:
  // The first item after `after` in display order, wrapping round to the
  // first, whose folded text holds the folded needle; `after` itself comes
  // last. -1 when none does or the needle is empty.
  int32_t next(const TreeStore& items, int32_t after, std::string_view needle);
  // The same backwards: the last item before `before`, wrapping round to
  // the last; `before` itself comes last.
  int32_t previous(const TreeStore& items, int32_t before, std::string_view needle);
  // Gives back the memory of the folded texts.
  void forget();

 private:
  void catch_up(const TreeStore& items);
  // Where the item holding byte `offset` of folded_ starts.
  int32_t item_at(size_t offset) const;
  size_t start(int32_t index) const { return starts_[static_cast<size_t>(index)]; }

  std::string folded_;          // every folded text, each ended by a zero byte
  std::vector<uint64_t> starts_;  // where each item's folded text starts
  uint32_t generation_ = 0;
  uint32_t text_changes_ = 0;
};

}  // namespace tree
