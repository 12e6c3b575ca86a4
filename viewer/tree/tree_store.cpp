#include "tree/tree_store.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "tree/item_text.h"

namespace tree {

int32_t TreeStore::find(int32_t after, std::string_view needle) const {
  const int32_t n = count();
  if (needle.empty() || n == 0) return -1;
  if (after < -1 || after >= n) after = -1;
  for (int32_t step = 1; step <= n; ++step) {
    const int32_t index = static_cast<int32_t>((static_cast<int64_t>(after) + step) % n);
    if (text_contains(text(index), needle)) return index;
  }
  return -1;
}

// ---------------------------------------------------------------------------
// Structure

bool TreeStore::level_shown(uint32_t parent) const {
  return parent == None || nodes_[parent].children_shown;
}

uint32_t TreeStore::first_child(uint32_t parent) const {
  if (parent == None) return roots_.empty() ? None : roots_.front();
  const uint32_t candidate = parent + 1;
  return candidate < nodes_.size() && nodes_[candidate].parent == parent ? candidate : None;
}

uint32_t TreeStore::depth_of(uint32_t node) const {
  return node + 1 == nodes_.size() ? last_depth_ : count_depth(node);
}

uint32_t TreeStore::count_depth(uint32_t node) const {
  uint32_t depth = 0;
  for (uint32_t up = nodes_[node].parent; up != None; up = nodes_[up].parent) ++depth;
  return depth;
}

uint32_t TreeStore::ancestor_at(uint32_t node, uint32_t node_depth, uint32_t depth) const {
  for (; node_depth > depth; --node_depth) node = nodes_[node].parent;
  return node;
}

// One past the node's last descendant: its next sibling, or the next
// sibling of the nearest ancestor that has one.
uint32_t TreeStore::subtree_end(uint32_t node) const {
  for (; node != None; node = nodes_[node].parent)
    if (nodes_[node].next != None) return nodes_[node].next;
  return static_cast<uint32_t>(nodes_.size());
}

TreeStore::SiblingMark& TreeStore::mark_for(uint32_t parent) const {
  return marks_[((parent * 0x9E3779B1u) >> 16) % SiblingMarks];
}

// Where a walk over the children of `parent` starts: at the child last
// asked about when `usable` finds it on the way, else at the first child.
template <typename Usable>
TreeStore::SiblingMark TreeStore::walk_start(uint32_t parent, Usable usable) const {
  const SiblingMark& mark = mark_for(parent);
  if (mark.parent == parent && usable(mark)) return mark;
  return {parent, first_child(parent), 0};
}

uint32_t TreeStore::sibling_position(uint32_t node) const {
  const uint32_t parent = nodes_[node].parent;
  if (parent == None)
    return static_cast<uint32_t>(std::lower_bound(roots_.begin(), roots_.end(), node) - roots_.begin());
  SiblingMark walk = walk_start(parent, [node](const SiblingMark& mark) { return mark.node <= node; });
  // Siblings come in index order, so the walk meets the node.
  while (walk.node != node && walk.node != None) {
    walk.node = nodes_[walk.node].next;
    ++walk.position;
  }
  if (walk.node != None) mark_for(parent) = walk;
  return walk.position;
}

uint32_t TreeStore::nth_child(uint32_t parent, uint32_t n) const {
  if (parent == None) return n < roots_.size() ? roots_[n] : None;
  SiblingMark walk = walk_start(parent, [n](const SiblingMark& mark) { return mark.position <= n; });
  for (; walk.node != None && walk.position < n; ++walk.position) walk.node = nodes_[walk.node].next;
  if (walk.node != None) mark_for(parent) = walk;
  return walk.node;
}

uint32_t TreeStore::previous_sibling(uint32_t node) const {
  const uint32_t position = sibling_position(node);
  return position == 0 ? None : nth_child(nodes_[node].parent, position - 1);
}

// The nodes from `first` on were renumbered: every stored index from `from`
// on moves by `delta` (up by one after an insertion at `first`, down by the
// count removed after a removal there). Nodes from `first` on can hold such
// indexes, and before it only the nodes whose subtree holds the node before
// `first` (their next siblings), so a change near the end stays cheap.
void TreeStore::shift_indexes(uint32_t first, uint32_t from, int64_t delta) {
  auto shift = [from, delta](uint32_t& index) {
    if (index != None && index >= from) index = static_cast<uint32_t>(index + delta);
  };
  for (uint32_t i = first; i < nodes_.size(); ++i) {
    shift(nodes_[i].parent);
    shift(nodes_[i].next);
  }
  if (first > 0)
    for (uint32_t a = first - 1; a != None; a = nodes_[a].parent) shift(nodes_[a].next);
  for (auto it = std::lower_bound(roots_.begin(), roots_.end(), from); it != roots_.end(); ++it)
    shift(*it);
}

// ---------------------------------------------------------------------------
// Texts and extras

// Called once the nodes no longer refer to dropped texts.
void TreeStore::compact_text() {
  text_.compact([this](TextArena::Packer& packer) {
    for (Node& node : nodes_)
      if (node.text() != 0) node.set_text(packer.pack(node.text()));
  });
}

TreeStore::Extra& TreeStore::extra(uint32_t node) {
  if (extras_.size() != nodes_.size()) extras_.resize(nodes_.size());
  return extras_[node];
}

// ---------------------------------------------------------------------------
// Item operations

int32_t TreeStore::add(int32_t position, const char* text, IconHandle icon, int32_t level) {
  const uint32_t n = static_cast<uint32_t>(nodes_.size());
  if (n >= static_cast<uint32_t>(INT32_MAX)) return -1;
  const uint32_t index = position < 0 || static_cast<uint32_t>(position) > n
                             ? n
                             : static_cast<uint32_t>(position);

  // The parent and the sibling the new row follows (None: first child).
  uint32_t parent = None;
  uint32_t after = None;
  uint32_t depth = 0;
  if (index > 0) {
    const uint32_t previous = index - 1;
    const uint32_t d = depth_of(previous);
    int64_t wanted = level;
    if (wanted > d) {
      parent = previous;
      depth = d + 1;
    } else if (wanted == d) {
      parent = nodes_[previous].parent;
      after = previous;
      depth = d;
    } else {
      // Inserting in the middle: never above the item that will follow.
      if (index < n) wanted = std::max<int64_t>(wanted, depth_of(index));
      if (wanted <= 0) {
        after = ancestor_at(previous, d, 0);
      } else if (wanted > d) {
        parent = previous;
        after = index;
        depth = d + 1;
      } else {
        depth = static_cast<uint32_t>(wanted);
        after = ancestor_at(previous, d, depth);
        parent = nodes_[after].parent;
      }
    }
  }

  // Where the row lands in display order, and the sibling it goes before.
  uint32_t at;
  if (index == n)
    at = n;  // the last row has no children, so any place chosen is the end
  else if (after != None)
    at = subtree_end(after);
  else
    at = parent == None ? 0 : parent + 1;
  const uint32_t next = at == n ? None : after != None ? nodes_[after].next : first_child(parent);

  // Everything that can fail is done before the first change, so that a
  // failure leaves the store as it was.
  Node node{};
  node.parent = parent;
  try {
    if (nodes_.size() == nodes_.capacity()) nodes_.reserve(nodes_.size() * 2 + 64);
    if (!extras_.empty() && extras_.size() == extras_.capacity())
      extras_.reserve(extras_.size() * 2 + 64);
    if (parent == None && roots_.size() == roots_.capacity()) roots_.reserve(roots_.size() * 2 + 16);
    node.set_text(text_.store(text));
    try {
      node.icon = icons_.take(icon);
    } catch (const std::bad_alloc&) {
      text_.drop(node.text());
      throw;
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }

  if (at == n) {
    node.next = None;
    nodes_.push_back(node);
    if (!extras_.empty()) extras_.emplace_back();
    if (parent == None) roots_.push_back(at);
    last_depth_ = depth;
  } else {
    renumbered();
    shift_indexes(at, at, 1);
    node.next = next == None ? None : next + 1;  // that sibling has moved up
    nodes_.insert(nodes_.begin() + at, node);
    if (!extras_.empty()) extras_.insert(extras_.begin() + at, Extra{});
    if (parent == None) roots_.insert(std::lower_bound(roots_.begin(), roots_.end(), at), at);
  }
  if (after != None) nodes_[after].next = at;

  if (holding_) {
    if (at >= reported_end_) return static_cast<int32_t>(at);  // held
    ++reported_end_;
  }
  report_added(at, parent != None && first_child(parent) == at && node.next == None);
  return static_cast<int32_t>(at);
}

void TreeStore::reserve(size_t items, size_t text_bytes) {
  try {
    if (items > SIZE_MAX / sizeof(Node) - nodes_.size()) return;
    nodes_.reserve(nodes_.size() + items);
    text_.reserve(text_bytes);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

int32_t TreeStore::remove(int32_t index) {
  if (!valid(index)) return 0;
  const uint32_t at = static_cast<uint32_t>(index);
  const uint32_t n = static_cast<uint32_t>(nodes_.size());
  const uint32_t end = subtree_end(at);
  const uint32_t removed = end - at;
  const uint32_t parent = nodes_[at].parent;
  // Held items go unreported; the known ones before them stay known.
  const bool reported = !holding_ || at < reported_end_;
  if (holding_) reported_end_ = end <= reported_end_ ? reported_end_ - removed : std::min(reported_end_, at);
  const bool shown = observer_ && reported && level_shown(parent);
  const std::vector<int> row = shown ? path(index) : std::vector<int>{};
  const uint32_t previous = previous_sibling(at);

  renumbered();
  if (previous != None) nodes_[previous].next = nodes_[at].next;
  if (parent == None) roots_.erase(std::lower_bound(roots_.begin(), roots_.end(), at));
  for (uint32_t i = at; i < end; ++i) {
    icons_.drop(nodes_[i].icon);
    text_.drop(nodes_[i].text());
  }
  nodes_.erase(nodes_.begin() + at, nodes_.begin() + end);
  if (!extras_.empty()) extras_.erase(extras_.begin() + at, extras_.begin() + end);
  shift_indexes(at, end, -int64_t{removed});
  if (end == n && !nodes_.empty()) last_depth_ = count_depth(static_cast<uint32_t>(nodes_.size() - 1));
  compact_text();
  const bool childless = parent != None && first_child(parent) == None;

  if (shown) observer_->deleted(row);
  if (observer_ && reported && childless && level_shown(nodes_[parent].parent))
    observer_->has_child_toggled(static_cast<int32_t>(parent));
  return static_cast<int32_t>(removed);
}

void TreeStore::clear() {
  // From the last top-level row back to the first, each removal costs only
  // its own rows, and views are told about each one.
  while (!roots_.empty()) remove(static_cast<int32_t>(roots_.back()));
  renumbered();
  Array<Node>().swap(nodes_);
  Array<Extra>().swap(extras_);
  std::vector<uint32_t>().swap(roots_);
  last_depth_ = 0;
  reported_end_ = 0;
  text_.clear();
}

int32_t TreeStore::depth(int32_t index) const {
  return valid(index) ? static_cast<int32_t>(depth_of(static_cast<uint32_t>(index))) : 0;
}

int32_t TreeStore::parent(int32_t index) const {
  if (!valid(index) || nodes_[index].parent == None) return -1;
  return static_cast<int32_t>(nodes_[index].parent);
}

int32_t TreeStore::child_count(int32_t index) const {
  if (!valid(index)) return 0;
  const auto parent = static_cast<uint32_t>(index);
  if (first_child(parent) == None) return 0;
  // From the place last asked about on: a view counting a large folder
  // again after an append does not walk it all.
  SiblingMark walk = walk_start(parent, [](const SiblingMark&) { return true; });
  for (uint32_t next = nodes_[walk.node].next; next != None; next = nodes_[walk.node].next) {
    walk.node = next;
    ++walk.position;
  }
  mark_for(parent) = walk;
  return static_cast<int32_t>(walk.position + 1);
}

bool TreeStore::has_children(int32_t index) const {
  return valid(index) && first_child(static_cast<uint32_t>(index)) != None;
}

const char* TreeStore::text(int32_t index) const {
  return valid(index) ? text_.at(nodes_[index].text()) : "";
}

void TreeStore::set_text(int32_t index, const char* text) {
  if (!valid(index)) return;
  Node& node = nodes_[index];
  const size_t length = text ? std::strlen(text) : 0;
  // A text no longer than the one it replaces takes its place.
  if (!text_.overwrite(node.text(), text, length)) {
    uint64_t old = node.text();
    try {
      node.set_text(text_.store(text));
    } catch (const std::bad_alloc&) {
      return;
    }
    text_.drop(old);
    compact_text();
  }
  ++text_changes_;
  changed(static_cast<uint32_t>(index));
}

IconHandle TreeStore::icon(int32_t index) const {
  return valid(index) ? icons_.handle(nodes_[index].icon) : nullptr;
}

bool TreeStore::checked(int32_t index) const { return valid(index) && nodes_[index].checked; }

bool TreeStore::inconsistent(int32_t index) const {
  return valid(index) && nodes_[index].inconsistent;
}

void TreeStore::set_check(int32_t index, bool checked, bool inconsistent) {
  if (!valid(index)) return;
  nodes_[index].checked = checked;
  nodes_[index].inconsistent = inconsistent;
  changed(static_cast<uint32_t>(index));
}

int32_t TreeStore::colour(int32_t index, TreeColour which) const {
  if (!valid(index) || extras_.empty()) return NoColour;
  const Extra& e = extras_[index];
  return which == TreeColour::Foreground ? e.foreground : e.background;
}

void TreeStore::set_colour(int32_t index, TreeColour which, int32_t colour) {
  if (colour != NoColour) colour &= 0xFFFFFF;
  auto apply = [&](uint32_t node) {
    Extra& e = extra(node);
    (which == TreeColour::Foreground ? e.foreground : e.background) = colour;
    changed(node);
  };
  if (index == -1) {
    if (colour == NoColour && extras_.empty()) return;  // nothing has a colour
    try {
      for (uint32_t node = 0; node < nodes_.size(); ++node) apply(node);
    } catch (const std::bad_alloc&) {
    }
    return;
  }
  if (!valid(index)) return;
  try {
    apply(static_cast<uint32_t>(index));
  } catch (const std::bad_alloc&) {
  }
}

intptr_t TreeStore::data(int32_t index) const {
  return valid(index) && !extras_.empty() ? extras_[index].data : 0;
}

void TreeStore::set_data(int32_t index, intptr_t value) {
  if (!valid(index)) return;
  try {
    extra(static_cast<uint32_t>(index)).data = value;
  } catch (const std::bad_alloc&) {
    return;
  }
  changed(static_cast<uint32_t>(index));
}

void TreeStore::changed(uint32_t node) {
  if (observer_ && static_cast<int32_t>(node) < reported_count() && level_shown(nodes_[node].parent)) observer_->changed(static_cast<int32_t>(node));
}

void TreeStore::renumbered() {
  ++generation_;
  marks_.fill(SiblingMark{});
}

// ---------------------------------------------------------------------------
// Addressing

std::vector<int> TreeStore::path(int32_t index) const {
  if (!valid(index)) return {};
  std::vector<uint32_t> chain;
  for (uint32_t node = static_cast<uint32_t>(index); node != None; node = nodes_[node].parent)
    chain.push_back(node);
  // From the top down, so that the walk for the item's own level is the one
  // remembered for the next path asked for, a row beside this one.
  std::vector<int> positions(chain.size());
  for (size_t level = 0; level < chain.size(); ++level)
    positions[level] = static_cast<int>(sibling_position(chain[chain.size() - 1 - level]));
  return positions;
}

int32_t TreeStore::at_path(const int* positions, int depth) const {
  if (depth <= 0 || !positions) return -1;
  uint32_t node = None;
  for (int level = 0; level < depth; ++level) {
    if (positions[level] < 0) return -1;
    node = nth_child(node, static_cast<uint32_t>(positions[level]));
    if (node == None) return -1;
  }
  return static_cast<int32_t>(node);
}

int32_t TreeStore::child(int32_t parent, int n) const {
  if ((parent != -1 && !valid(parent)) || n < 0) return -1;
  const uint32_t child = nth_child(parent == -1 ? None : static_cast<uint32_t>(parent),
                                   static_cast<uint32_t>(n));
  return child == None ? -1 : static_cast<int32_t>(child);
}

int32_t TreeStore::next_sibling(int32_t index) const {
  if (!valid(index) || nodes_[index].next == None) return -1;
  return static_cast<int32_t>(nodes_[index].next);
}

// `gave_children`: the node is the first child its parent's observers hear of.
void TreeStore::report_added(uint32_t node, bool gave_children) {
  if (!observer_) return;
  const uint32_t parent = nodes_[node].parent;
  if (level_shown(parent)) observer_->inserted(static_cast<int32_t>(node));
  if (gave_children && parent != None && level_shown(nodes_[parent].parent))
    observer_->has_child_toggled(static_cast<int32_t>(parent));
}

void TreeStore::hold_reports() {
  if (holding_) return;
  holding_ = true;
  reported_end_ = static_cast<uint32_t>(nodes_.size());
}

int32_t TreeStore::report_held(int32_t items) {
  for (int32_t done = 0; done < items && holding_ && reported_end_ < nodes_.size(); ++done) {
    const uint32_t node = reported_end_++;
    // Held items come in display order, so the first child comes first.
    report_added(node, nodes_[node].parent != None && nodes_[node].parent + 1 == node);
  }
  return held_count();
}

void TreeStore::release_reports() {
  report_held(INT32_MAX);
  holding_ = false;
}

void TreeStore::see_children_of_parent(int32_t index) {
  if (valid(index) && nodes_[index].parent != None) nodes_[nodes_[index].parent].children_shown = 1;
}

}  // namespace tree
