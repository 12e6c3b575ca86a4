// The store's items written out in one line, for tests to compare whole
// trees at a glance.
#pragma once

#include <cstdint>
#include <string>

#include "tree/tree_store.h"

namespace tree {

// "depth text" of every item in index order, e.g. "0a 1b 2c".
inline std::string by_index(const TreeStore& items) {
  std::string out;
  for (int32_t i = 0; i < items.count(); ++i) {
    if (i) out += ' ';
    out += std::to_string(items.depth(i));
    out += items.text(i);
  }
  return out;
}

}  // namespace tree
