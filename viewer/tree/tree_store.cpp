#include "tree/tree_store.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <memory>

namespace tree {

namespace {

// Replaced and removed texts stay in the arena until they make up half of
// it, and at least this much: compacting copies every live text.
constexpr size_t MinGarbageToCompact = size_t{1} << 20;

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

bool displayed_text(const char* text, std::string& shown) {
  size_t bytes = 0;
  size_t characters = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (p[bytes] != 0) {
    if ((p[bytes] & 0xC0) != 0x80) {
      if (characters == DisplayedTextLimit) {
        // Texts are well-formed UTF-8, so this cut lies between characters.
        shown.assign(text, bytes);
        shown += "\u2026";
        return true;
      }
      ++characters;
    }
    ++bytes;
  }
  return false;
}

bool text_contains(const char* text, std::string_view needle) {
  if (needle.empty()) return true;
  const char first_lower = ascii_lower(needle[0]);
  const char first_upper = first_lower >= 'a' && first_lower <= 'z' ? static_cast<char>(first_lower - 32)
                                                                     : first_lower;
  for (const char* p = text; *p; ++p) {
    if (*p != first_lower && *p != first_upper) continue;
    size_t i = 1;
    while (i < needle.size() && p[i] && ascii_lower(p[i]) == ascii_lower(needle[i])) ++i;
    if (i == needle.size()) return true;
  }
  return false;
}

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

const std::vector<uint32_t>& TreeStore::child_list(uint32_t parent) const {
  static const std::vector<uint32_t> empty;
  if (parent == None) return roots_;
  uint32_t list = nodes_[parent].children;
  return list == None ? empty : lists_[list];
}

// Only for a parent that has children (or the top level).
std::vector<uint32_t>& TreeStore::child_list(uint32_t parent) {
  return parent == None ? roots_ : lists_[nodes_[parent].children];
}

void TreeStore::free_list(uint32_t list) {
  // Give the memory back: a released list may have held a large folder.
  std::vector<uint32_t>().swap(lists_[list]);
  try {
    free_lists_.push_back(list);
  } catch (const std::bad_alloc&) {
    // The empty slot is simply never reused.
  }
}

bool TreeStore::level_shown(uint32_t parent) const {
  return parent == None || nodes_[parent].children_shown;
}

// One past the node's last descendant: the last child's last child and so
// on, O(depth) instead of a walk over the subtree.
uint32_t TreeStore::subtree_end(uint32_t node) const {
  while (nodes_[node].children != None) node = lists_[nodes_[node].children].back();
  return node + 1;
}

uint32_t TreeStore::ancestor_at(uint32_t node, uint32_t depth) const {
  while (nodes_[node].depth > depth) node = nodes_[node].parent;
  return node;
}

uint32_t TreeStore::sibling_position(uint32_t node) const {
  const std::vector<uint32_t>& siblings = child_list(nodes_[node].parent);
  return static_cast<uint32_t>(std::lower_bound(siblings.begin(), siblings.end(), node) - siblings.begin());
}

// A node was inserted at `at`; every stored index from `at` on moves up by
// one. Only nodes behind `at`, the ancestors of the node that now follows
// the new one, and the top level can hold such indexes, so an insertion near
// the end stays cheap.
void TreeStore::shift_after_insert(uint32_t at) {
  const uint32_t n = static_cast<uint32_t>(nodes_.size());
  auto shift_list = [&](std::vector<uint32_t>& list) {
    for (auto it = std::lower_bound(list.begin(), list.end(), at); it != list.end(); ++it) ++*it;
  };
  for (uint32_t i = at + 1; i < n; ++i) {
    Node& node = nodes_[i];
    if (node.parent != None && node.parent >= at) ++node.parent;
    if (node.children != None)
      for (uint32_t& child : lists_[node.children]) ++child;
  }
  if (at + 1 < n) {
    for (uint32_t a = nodes_[at + 1].parent; a != None && a < at; a = nodes_[a].parent)
      shift_list(lists_[nodes_[a].children]);
  }
  shift_list(roots_);
}

// `removed` nodes were erased at `at`; stored indexes behind them move down.
void TreeStore::shift_after_remove(uint32_t at, uint32_t removed) {
  const uint32_t n = static_cast<uint32_t>(nodes_.size());
  const uint32_t old_end = at + removed;
  auto shift_list = [&](std::vector<uint32_t>& list) {
    for (auto it = std::lower_bound(list.begin(), list.end(), old_end); it != list.end(); ++it)
      *it -= removed;
  };
  for (uint32_t i = at; i < n; ++i) {
    Node& node = nodes_[i];
    if (node.parent != None && node.parent >= old_end) node.parent -= removed;
    if (node.children != None)
      for (uint32_t& child : lists_[node.children]) child -= removed;
  }
  if (at < n) {
    for (uint32_t a = nodes_[at].parent; a != None && a < at; a = nodes_[a].parent)
      shift_list(lists_[nodes_[a].children]);
  }
  shift_list(roots_);
}

// ---------------------------------------------------------------------------
// Texts, icons, extras

uint64_t TreeStore::store_text(const char* text) {
  if (!text || !*text) return 0;  // offset 0 holds the shared empty text
  if (text_.empty()) text_.push_back('\0');
  const uint64_t offset = text_.size();
  const size_t length = std::strlen(text) + 1;
  // Nodes keep 40 bits of offset: a terabyte of text.
  if (offset + length > TextLimit) throw std::bad_alloc();
  text_.append(text, length);
  return offset;
}

void TreeStore::drop_text(uint64_t offset) {
  if (offset != 0) text_garbage_ += std::strlen(text_.data() + offset) + 1;
}

// Called once the nodes no longer refer to dropped texts.
void TreeStore::compact_text() {
  if (text_garbage_ < MinGarbageToCompact || text_garbage_ <= text_.size() / 2) return;
  Text packed;
  try {
    packed.reserve(text_.size() - text_garbage_);
  } catch (const std::bad_alloc&) {
    return;  // keep the garbage; the texts stay valid
  }
  packed.push_back('\0');
  for (Node& node : nodes_) {
    if (node.text() == 0) continue;
    const char* text = text_.data() + node.text();
    node.set_text(packed.size());
    packed.append(text, std::strlen(text) + 1);
  }
  text_.swap(packed);
  text_garbage_ = 0;
}

TreeStore::~TreeStore() {
  if (!keeper_.release) return;
  for (const Icon& icon : icons_)
    if (icon.handle) keeper_.release(icon.handle);
}

uint32_t TreeStore::take_icon(IconHandle handle) {
  if (!handle) return 0;
  auto found = icon_slots_.find(handle);
  if (found != icon_slots_.end()) {
    ++icons_[found->second].uses;
    return found->second;
  }
  uint32_t slot;
  if (!free_icons_.empty()) {
    slot = free_icons_.back();
    free_icons_.pop_back();
  } else {
    if (icons_.size() >= (size_t{1} << IconBits)) return 0;
    icons_.emplace_back();
    slot = static_cast<uint32_t>(icons_.size() - 1);
  }
  icon_slots_.emplace(handle, slot);
  // One reference per distinct icon keeps it alive for every row that shows
  // it, even after the image it came from is released.
  if (keeper_.keep) keeper_.keep(handle);
  icons_[slot].handle = handle;
  icons_[slot].uses = 1;
  return slot;
}

void TreeStore::drop_icon(uint32_t slot) {
  if (slot == 0) return;
  Icon& icon = icons_[slot];
  if (--icon.uses > 0) return;
  icon_slots_.erase(icon.handle);
  if (keeper_.release) keeper_.release(icon.handle);
  icon.handle = nullptr;
  try {
    free_icons_.push_back(slot);
  } catch (const std::bad_alloc&) {
    // The empty slot is simply never reused.
  }
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
  if (index > 0) {
    const uint32_t previous = index - 1;
    const int64_t d = nodes_[previous].depth;
    int64_t wanted = level;
    if (wanted > d) {
      parent = previous;
    } else if (wanted == d) {
      parent = nodes_[previous].parent;
      after = previous;
    } else {
      // Inserting in the middle: never above the item that will follow.
      if (index < n && nodes_[index].depth > wanted) wanted = nodes_[index].depth;
      if (wanted <= 0) {
        after = ancestor_at(previous, 0);
      } else if (wanted > d) {
        parent = previous;
        after = index;
      } else {
        after = ancestor_at(previous, static_cast<uint32_t>(wanted));
        parent = nodes_[after].parent;
      }
    }
  }

  // Where the row lands in display order.
  uint32_t at;
  if (index == n)
    at = n;  // the last row has no children, so any place chosen is the end
  else if (after != None)
    at = subtree_end(after);
  else
    at = parent == None ? 0 : parent + 1;
  const uint32_t sibling = after == None ? 0 : sibling_position(after) + 1;

  // Everything that can fail is done before the first change, so that a
  // failure leaves the store as it was.
  Node node{};
  node.parent = parent;
  node.depth = parent == None ? 0 : nodes_[parent].depth + 1;
  node.children = None;
  const bool needs_list = parent != None && nodes_[parent].children == None;
  uint32_t list = parent == None ? None : nodes_[parent].children;
  std::vector<uint32_t> fresh;
  try {
    if (nodes_.size() == nodes_.capacity()) nodes_.reserve(nodes_.size() * 2 + 64);
    if (!extras_.empty() && extras_.size() == extras_.capacity())
      extras_.reserve(extras_.size() * 2 + 64);
    if (needs_list) {
      if (free_lists_.empty()) {
        if (lists_.size() == lists_.capacity()) lists_.reserve(lists_.size() * 2 + 16);
        list = static_cast<uint32_t>(lists_.size());
      } else {
        list = free_lists_.back();
      }
    }
    std::vector<uint32_t>& siblings =
        parent == None ? roots_ : list < lists_.size() ? lists_[list] : fresh;
    if (siblings.size() == siblings.capacity()) siblings.reserve(siblings.size() * 2 + 4);
    node.set_text(store_text(text));
    try {
      node.icon = take_icon(icon);
    } catch (const std::bad_alloc&) {
      drop_text(node.text());
      throw;
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }

  if (needs_list) {
    if (list == lists_.size())
      lists_.push_back(std::move(fresh));  // room reserved above
    else
      free_lists_.pop_back();
    nodes_[parent].children = list;
  }
  if (at == n) {
    nodes_.push_back(node);
    if (!extras_.empty()) extras_.emplace_back();
  } else {
    renumbered();
    nodes_.insert(nodes_.begin() + at, node);
    if (!extras_.empty()) extras_.insert(extras_.begin() + at, Extra{});
    shift_after_insert(at);
  }
  std::vector<uint32_t>& siblings = child_list(parent);
  siblings.insert(siblings.begin() + sibling, at);

  if (observer_ && level_shown(parent)) observer_->inserted(static_cast<int32_t>(at));
  if (observer_ && parent != None && child_list(parent).size() == 1 &&
      level_shown(nodes_[parent].parent))
    observer_->has_child_toggled(static_cast<int32_t>(parent));
  return static_cast<int32_t>(at);
}

void TreeStore::reserve(size_t items, size_t text_bytes) {
  try {
    if (items > SIZE_MAX / sizeof(Node) - nodes_.size()) return;
    nodes_.reserve(nodes_.size() + items);
    if (text_bytes < SIZE_MAX - text_.size()) text_.reserve(text_.size() + text_bytes + 1);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

int32_t TreeStore::remove(int32_t index) {
  if (!valid(index)) return 0;
  const uint32_t at = static_cast<uint32_t>(index);
  const uint32_t end = subtree_end(at);
  const uint32_t removed = end - at;
  const uint32_t parent = nodes_[at].parent;
  const bool shown = observer_ && level_shown(parent);
  const std::vector<int> row = shown ? path(index) : std::vector<int>{};

  renumbered();
  std::vector<uint32_t>& siblings = child_list(parent);
  siblings.erase(siblings.begin() + sibling_position(at));
  const bool childless = parent != None && siblings.empty();
  if (childless) {
    free_list(nodes_[parent].children);
    nodes_[parent].children = None;
  }
  for (uint32_t i = at; i < end; ++i) {
    Node& node = nodes_[i];
    if (node.children != None) free_list(node.children);
    drop_icon(node.icon);
    drop_text(node.text());
  }
  nodes_.erase(nodes_.begin() + at, nodes_.begin() + end);
  if (!extras_.empty()) extras_.erase(extras_.begin() + at, extras_.begin() + end);
  shift_after_remove(at, removed);
  compact_text();

  if (shown) observer_->deleted(row);
  if (observer_ && childless && level_shown(nodes_[parent].parent))
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
  Array<std::vector<uint32_t>>().swap(lists_);
  std::vector<uint32_t>().swap(free_lists_);
  Text().swap(text_);
  text_garbage_ = 0;
}

int32_t TreeStore::depth(int32_t index) const {
  return valid(index) ? static_cast<int32_t>(nodes_[index].depth) : 0;
}

int32_t TreeStore::parent(int32_t index) const {
  if (!valid(index) || nodes_[index].parent == None) return -1;
  return static_cast<int32_t>(nodes_[index].parent);
}

int32_t TreeStore::child_count(int32_t index) const {
  return valid(index) ? static_cast<int32_t>(child_list(static_cast<uint32_t>(index)).size()) : 0;
}

const char* TreeStore::text(int32_t index) const {
  if (!valid(index) || nodes_[index].text() == 0) return "";
  return text_.data() + nodes_[index].text();
}

void TreeStore::set_text(int32_t index, const char* text) {
  if (!valid(index)) return;
  Node& node = nodes_[index];
  const size_t length = text ? std::strlen(text) : 0;
  if (node.text() != 0 && length > 0 && length <= std::strlen(text_.data() + node.text())) {
    // Overwrite in place; the tail of the old text becomes garbage.
    char* old = text_.data() + node.text();
    text_garbage_ += std::strlen(old) - length;
    std::memmove(old, text, length + 1);
  } else {
    uint64_t old = node.text();
    try {
      node.set_text(store_text(text));
    } catch (const std::bad_alloc&) {
      return;
    }
    drop_text(old);
    compact_text();
  }
  changed(static_cast<uint32_t>(index));
}

IconHandle TreeStore::icon(int32_t index) const {
  return valid(index) ? icons_[nodes_[index].icon].handle : nullptr;
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
  if (observer_ && level_shown(nodes_[node].parent)) observer_->changed(static_cast<int32_t>(node));
}

void TreeStore::renumbered() { ++generation_; }

// ---------------------------------------------------------------------------
// Addressing

std::vector<int> TreeStore::path(int32_t index) const {
  if (!valid(index)) return {};
  std::vector<int> positions(nodes_[index].depth + 1);
  for (uint32_t node = static_cast<uint32_t>(index); node != None; node = nodes_[node].parent)
    positions[nodes_[node].depth] = static_cast<int>(sibling_position(node));
  return positions;
}

int32_t TreeStore::at_path(const int* positions, int depth) const {
  if (depth <= 0 || !positions) return -1;
  uint32_t node = None;
  for (int level = 0; level < depth; ++level) {
    const std::vector<uint32_t>& list = child_list(node);
    if (positions[level] < 0 || static_cast<size_t>(positions[level]) >= list.size()) return -1;
    node = list[positions[level]];
  }
  return static_cast<int32_t>(node);
}

int32_t TreeStore::child(int32_t parent, int n) const {
  if (parent != -1 && !valid(parent)) return -1;
  const std::vector<uint32_t>& list = child_list(parent == -1 ? None : static_cast<uint32_t>(parent));
  if (n < 0 || static_cast<size_t>(n) >= list.size()) return -1;
  return static_cast<int32_t>(list[n]);
}

int32_t TreeStore::next_sibling(int32_t index) const {
  if (!valid(index)) return -1;
  // In display order the next sibling follows the item's last descendant.
  const uint32_t end = subtree_end(static_cast<uint32_t>(index));
  return end < nodes_.size() && nodes_[end].parent == nodes_[index].parent ? static_cast<int32_t>(end)
                                                                           : -1;
}

void TreeStore::see_children_of_parent(int32_t index) {
  if (valid(index) && nodes_[index].parent != None) nodes_[nodes_[index].parent].children_shown = 1;
}

}  // namespace tree
