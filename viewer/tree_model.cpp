#include "tree_model.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

static_assert(sizeof(glong) == sizeof(intptr_t), "item data travels as a glong");

namespace {

// Replaced and removed texts stay in the arena until they make up half of
// it, and at least this much: compacting copies every live text.
constexpr size_t MinGarbageToCompact = size_t{1} << 20;

GdkColor to_gdk_colour(int32_t colour) {
  // Each 8-bit channel becomes c × 256, the toolkit's 16-bit channel.
  GdkColor result{};
  result.red = static_cast<guint16>((colour & 0xFF) << 8);
  result.green = static_cast<guint16>(((colour >> 8) & 0xFF) << 8);
  result.blue = static_cast<guint16>(((colour >> 16) & 0xFF) << 8);
  return result;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

char* displayed_text(const char* text) {
  size_t bytes = 0;
  size_t characters = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (p[bytes] != 0) {
    if ((p[bytes] & 0xC0) != 0x80) {
      if (characters == DisplayedTextLimit) {
        // The text is well-formed UTF-8, so this cut lies between characters.
        char* shown = static_cast<char*>(g_malloc(bytes + sizeof "\u2026"));
        std::memcpy(shown, text, bytes);
        std::memcpy(shown + bytes, "\u2026", sizeof "\u2026");
        return shown;
      }
      ++characters;
    }
    ++bytes;
  }
  return nullptr;
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

int32_t TreeItems::find(int32_t after, std::string_view needle) const {
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

const std::vector<uint32_t>& TreeItems::child_list(uint32_t parent) const {
  static const std::vector<uint32_t> empty;
  if (parent == None) return roots_;
  uint32_t list = nodes_[parent].children;
  return list == None ? empty : lists_[list];
}

// Only for a parent that has children (or the top level).
std::vector<uint32_t>& TreeItems::child_list(uint32_t parent) {
  return parent == None ? roots_ : lists_[nodes_[parent].children];
}

void TreeItems::free_list(uint32_t list) {
  // Give the memory back: a released list may have held a large folder.
  std::vector<uint32_t>().swap(lists_[list]);
  try {
    free_lists_.push_back(list);
  } catch (const std::bad_alloc&) {
    // The empty slot is simply never reused.
  }
}

bool TreeItems::level_shown(uint32_t parent) const {
  return parent == None || nodes_[parent].children_shown;
}

// One past the node's last descendant: the last child's last child and so
// on, O(depth) instead of a walk over the subtree.
uint32_t TreeItems::subtree_end(uint32_t node) const {
  while (nodes_[node].children != None) node = lists_[nodes_[node].children].back();
  return node + 1;
}

uint32_t TreeItems::ancestor_at(uint32_t node, uint32_t depth) const {
  while (nodes_[node].depth > depth) node = nodes_[node].parent;
  return node;
}

void TreeItems::renumber_siblings(std::vector<uint32_t>& list, size_t from) {
  for (size_t i = from; i < list.size(); ++i) nodes_[list[i]].sibling = static_cast<uint32_t>(i);
}

// A node was inserted at `at`; every stored index from `at` on moves up by
// one. Only nodes behind `at`, the ancestors of the node that now follows
// the new one, and the top level can hold such indexes, so an insertion near
// the end stays cheap.
void TreeItems::shift_after_insert(uint32_t at) {
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
void TreeItems::shift_after_remove(uint32_t at, uint32_t removed) {
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

uint64_t TreeItems::store_text(const char* text) {
  if (!text || !*text) return 0;  // offset 0 holds the shared empty text
  if (text_.empty()) text_.push_back('\0');
  uint64_t offset = text_.size();
  text_.append(text, std::strlen(text) + 1);
  return offset;
}

void TreeItems::drop_text(uint64_t offset) {
  if (offset != 0) text_garbage_ += std::strlen(text_.data() + offset) + 1;
}

// Called once the nodes no longer refer to dropped texts.
void TreeItems::compact_text() {
  if (text_garbage_ < MinGarbageToCompact || text_garbage_ <= text_.size() / 2) return;
  Text packed;
  try {
    packed.reserve(text_.size() - text_garbage_);
  } catch (const std::bad_alloc&) {
    return;  // keep the garbage; the texts stay valid
  }
  packed.push_back('\0');
  for (Node& node : nodes_) {
    if (node.text == 0) continue;
    const char* text = text_.data() + node.text;
    node.text = packed.size();
    packed.append(text, std::strlen(text) + 1);
  }
  text_.swap(packed);
  text_garbage_ = 0;
}

uint32_t TreeItems::take_icon(GdkPixbuf* pixbuf) {
  if (!pixbuf) return 0;
  auto found = icon_slots_.find(pixbuf);
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
  // One reference per distinct pixbuf keeps it alive for every row that
  // shows it, even after the image it came from is released.
  icons_[slot].pixbuf = GObjectPtr<GdkPixbuf>::share(pixbuf);
  icons_[slot].uses = 1;
  icon_slots_.emplace(pixbuf, slot);
  return slot;
}

void TreeItems::drop_icon(uint32_t slot) {
  if (slot == 0) return;
  Icon& icon = icons_[slot];
  if (--icon.uses > 0) return;
  icon_slots_.erase(icon.pixbuf.get());
  icon.pixbuf.reset();
  try {
    free_icons_.push_back(slot);
  } catch (const std::bad_alloc&) {
    // The empty slot is simply never reused.
  }
}

TreeItems::Extra& TreeItems::extra(uint32_t node) {
  if (extras_.size() != nodes_.size()) extras_.resize(nodes_.size());
  return extras_[node];
}

// ---------------------------------------------------------------------------
// Item operations

int32_t TreeItems::add(int32_t position, const char* text, GdkPixbuf* icon, int32_t level) {
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
  const uint32_t sibling = after == None ? 0 : nodes_[after].sibling + 1;

  // Everything that can fail is done before the first change, so that a
  // failure leaves the store as it was.
  Node node{};
  node.parent = parent;
  node.sibling = sibling;
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
    node.text = store_text(text);
    try {
      node.icon = take_icon(icon);
    } catch (const std::bad_alloc&) {
      drop_text(node.text);
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
    renew_stamp();
    nodes_.insert(nodes_.begin() + at, node);
    if (!extras_.empty()) extras_.insert(extras_.begin() + at, Extra{});
    shift_after_insert(at);
  }
  std::vector<uint32_t>& siblings = child_list(parent);
  siblings.insert(siblings.begin() + sibling, at);
  renumber_siblings(siblings, sibling + 1);

  if (level_shown(parent)) {
    emit_row(at, gtk_tree_model_row_inserted);
  }
  if (parent != None && child_list(parent).size() == 1 && level_shown(nodes_[parent].parent)) {
    emit_row(parent, gtk_tree_model_row_has_child_toggled);
  }
  return static_cast<int32_t>(at);
}

int32_t TreeItems::remove(int32_t index) {
  if (!valid(index)) return 0;
  const uint32_t at = static_cast<uint32_t>(index);
  const uint32_t end = subtree_end(at);
  const uint32_t removed = end - at;
  const uint32_t parent = nodes_[at].parent;
  const bool shown = level_shown(parent);
  GtkTreePath* row = shown ? path(at) : nullptr;

  renew_stamp();
  std::vector<uint32_t>& siblings = child_list(parent);
  const uint32_t sibling = nodes_[at].sibling;
  siblings.erase(siblings.begin() + sibling);
  renumber_siblings(siblings, sibling);
  const bool childless = parent != None && siblings.empty();
  if (childless) {
    free_list(nodes_[parent].children);
    nodes_[parent].children = None;
  }
  for (uint32_t i = at; i < end; ++i) {
    Node& node = nodes_[i];
    if (node.children != None) free_list(node.children);
    drop_icon(node.icon);
    drop_text(node.text);
  }
  nodes_.erase(nodes_.begin() + at, nodes_.begin() + end);
  if (!extras_.empty()) extras_.erase(extras_.begin() + at, extras_.begin() + end);
  shift_after_remove(at, removed);
  compact_text();

  if (row) {
    gtk_tree_model_row_deleted(model_, row);
    gtk_tree_path_free(row);
  }
  if (childless && level_shown(nodes_[parent].parent)) {
    emit_row(parent, gtk_tree_model_row_has_child_toggled);
  }
  return static_cast<int32_t>(removed);
}

void TreeItems::clear() {
  // From the last top-level row back to the first, each removal costs only
  // its own rows, and views are told about each one.
  while (!roots_.empty()) remove(static_cast<int32_t>(roots_.back()));
  renew_stamp();
  Array<Node>().swap(nodes_);
  Array<Extra>().swap(extras_);
  std::vector<uint32_t>().swap(roots_);
  Array<std::vector<uint32_t>>().swap(lists_);
  std::vector<uint32_t>().swap(free_lists_);
  Text().swap(text_);
  text_garbage_ = 0;
}

int32_t TreeItems::depth(int32_t index) const {
  return valid(index) ? static_cast<int32_t>(nodes_[index].depth) : 0;
}

int32_t TreeItems::parent(int32_t index) const {
  if (!valid(index) || nodes_[index].parent == None) return -1;
  return static_cast<int32_t>(nodes_[index].parent);
}

int32_t TreeItems::child_count(int32_t index) const {
  return valid(index) ? static_cast<int32_t>(child_list(static_cast<uint32_t>(index)).size()) : 0;
}

const char* TreeItems::text(int32_t index) const {
  if (!valid(index) || nodes_[index].text == 0) return "";
  return text_.data() + nodes_[index].text;
}

void TreeItems::set_text(int32_t index, const char* text) {
  if (!valid(index)) return;
  Node& node = nodes_[index];
  const size_t length = text ? std::strlen(text) : 0;
  if (node.text != 0 && length > 0 && length <= std::strlen(text_.data() + node.text)) {
    // Overwrite in place; the tail of the old text becomes garbage.
    char* old = text_.data() + node.text;
    text_garbage_ += std::strlen(old) - length;
    std::memmove(old, text, length + 1);
  } else {
    uint64_t old = node.text;
    try {
      node.text = store_text(text);
    } catch (const std::bad_alloc&) {
      return;
    }
    drop_text(old);
    compact_text();
  }
  row_changed(static_cast<uint32_t>(index));
}

GdkPixbuf* TreeItems::icon(int32_t index) const {
  return valid(index) ? icons_[nodes_[index].icon].pixbuf.get() : nullptr;
}

bool TreeItems::checked(int32_t index) const { return valid(index) && nodes_[index].checked; }

bool TreeItems::inconsistent(int32_t index) const {
  return valid(index) && nodes_[index].inconsistent;
}

void TreeItems::set_check(int32_t index, bool checked, bool inconsistent) {
  if (!valid(index)) return;
  nodes_[index].checked = checked;
  nodes_[index].inconsistent = inconsistent;
  row_changed(static_cast<uint32_t>(index));
}

int32_t TreeItems::colour(int32_t index, TreeColour which) const {
  if (!valid(index) || extras_.empty()) return NoColour;
  const Extra& e = extras_[index];
  return which == TreeColour::Foreground ? e.foreground : e.background;
}

void TreeItems::set_colour(int32_t index, TreeColour which, int32_t colour) {
  if (colour != NoColour) colour &= 0xFFFFFF;
  auto apply = [&](uint32_t node) {
    Extra& e = extra(node);
    (which == TreeColour::Foreground ? e.foreground : e.background) = colour;
    row_changed(node);
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

intptr_t TreeItems::data(int32_t index) const {
  return valid(index) && !extras_.empty() ? extras_[index].data : 0;
}

void TreeItems::set_data(int32_t index, intptr_t value) {
  if (!valid(index)) return;
  try {
    extra(static_cast<uint32_t>(index)).data = value;
  } catch (const std::bad_alloc&) {
    return;
  }
  row_changed(static_cast<uint32_t>(index));
}

void TreeItems::row_changed(uint32_t node) {
  if (level_shown(nodes_[node].parent)) emit_row(node, gtk_tree_model_row_changed);
}

void TreeItems::emit_row(uint32_t node, RowSignal signal) {
  GtkTreeIter iter;
  fill(&iter, node);
  GtkTreePath* row = path(node);
  signal(model_, row, &iter);
  gtk_tree_path_free(row);
}

// ---------------------------------------------------------------------------
// Iters and paths

// Iters made before the nodes were renumbered stop being valid. The stamp
// wraps instead of overflowing and is never 0, the mark of a spent iter.
void TreeItems::renew_stamp() {
  stamp_ = static_cast<int>(static_cast<unsigned>(stamp_) + 1u);
  if (stamp_ == 0) stamp_ = 1;
}

void TreeItems::fill(GtkTreeIter* iter, uint32_t node) const {
  iter->stamp = stamp_;
  iter->user_data = reinterpret_cast<gpointer>(static_cast<uintptr_t>(node));
  iter->user_data2 = nullptr;
  iter->user_data3 = nullptr;
}

bool TreeItems::node_of(const GtkTreeIter* iter, uint32_t& node) const {
  if (!iter || iter->stamp != stamp_) return false;
  uintptr_t value = reinterpret_cast<uintptr_t>(iter->user_data);
  if (value >= nodes_.size()) return false;
  node = static_cast<uint32_t>(value);
  return true;
}

bool TreeItems::iter(int32_t index, GtkTreeIter* iter) const {
  if (!valid(index)) return false;
  fill(iter, static_cast<uint32_t>(index));
  return true;
}

int32_t TreeItems::index(const GtkTreeIter* iter) const {
  uint32_t node;
  return node_of(iter, node) ? static_cast<int32_t>(node) : -1;
}

GtkTreePath* TreeItems::path(int32_t index) const {
  if (!valid(index)) return nullptr;
  std::vector<int> indices(nodes_[index].depth + 1);
  for (uint32_t node = static_cast<uint32_t>(index); node != None; node = nodes_[node].parent)
    indices[nodes_[node].depth] = static_cast<int>(nodes_[node].sibling);
  GtkTreePath* result = gtk_tree_path_new();
  for (int i : indices) gtk_tree_path_append_index(result, i);
  return result;
}

gboolean TreeItems::model_get_iter(GtkTreeIter* iter, GtkTreePath* path) const {
  const int depth = gtk_tree_path_get_depth(path);
  const int* indices = gtk_tree_path_get_indices(path);
  if (depth <= 0 || !indices) return FALSE;
  uint32_t node = None;
  for (int level = 0; level < depth; ++level) {
    const std::vector<uint32_t>& list = child_list(node);
    if (indices[level] < 0 || static_cast<size_t>(indices[level]) >= list.size()) return FALSE;
    node = list[indices[level]];
  }
  fill(iter, node);
  return TRUE;
}

void TreeItems::model_get_value(const GtkTreeIter* iter, int column, GValue* value) const {
  static const GType types[TreeColumnCount] = {G_TYPE_BOOLEAN, G_TYPE_BOOLEAN, GDK_TYPE_PIXBUF,
                                               G_TYPE_STRING,  GDK_TYPE_COLOR, GDK_TYPE_COLOR,
                                               G_TYPE_LONG};
  if (column < 0 || column >= TreeColumnCount) return;
  g_value_init(value, types[column]);
  uint32_t node;
  if (!node_of(iter, node)) return;
  const int32_t index = static_cast<int32_t>(node);
  switch (column) {
    case TreeColumnCheck:
      g_value_set_boolean(value, nodes_[node].checked);
      break;
    case TreeColumnInconsistent:
      g_value_set_boolean(value, nodes_[node].inconsistent);
      break;
    case TreeColumnIcon:
      g_value_set_object(value, icon(index));
      break;
    case TreeColumnText:
      if (char* shown = displayed_text(text(index)))
        g_value_take_string(value, shown);
      else
        g_value_set_string(value, text(index));
      break;
    case TreeColumnForeground:
    case TreeColumnBackground: {
      int32_t c = colour(index, column == TreeColumnForeground ? TreeColour::Foreground
                                                                : TreeColour::Background);
      if (c != NoColour) {
        GdkColor gdk = to_gdk_colour(c);
        g_value_set_boxed(value, &gdk);
      }
      break;
    }
    case TreeColumnData:
      g_value_set_long(value, static_cast<glong>(data(index)));
      break;
  }
}

gboolean TreeItems::model_iter_next(GtkTreeIter* iter) const {
  uint32_t node;
  if (!node_of(iter, node)) return FALSE;
  const std::vector<uint32_t>& siblings = child_list(nodes_[node].parent);
  const size_t next = nodes_[node].sibling + size_t{1};
  if (next >= siblings.size()) {
    iter->stamp = 0;
    return FALSE;
  }
  fill(iter, siblings[next]);
  return TRUE;
}

gboolean TreeItems::model_iter_nth_child(GtkTreeIter* iter, const GtkTreeIter* parent,
                                         int n) const {
  uint32_t node = None;
  if (parent && !node_of(parent, node)) return FALSE;
  const std::vector<uint32_t>& list = child_list(node);
  if (n < 0 || static_cast<size_t>(n) >= list.size()) return FALSE;
  fill(iter, list[n]);
  return TRUE;
}

gboolean TreeItems::model_iter_has_child(const GtkTreeIter* iter) const {
  uint32_t node;
  return node_of(iter, node) && nodes_[node].children != None;
}

int TreeItems::model_iter_n_children(const GtkTreeIter* iter) const {
  uint32_t node = None;
  if (iter && !node_of(iter, node)) return 0;
  return static_cast<int>(child_list(node).size());
}

gboolean TreeItems::model_iter_parent(GtkTreeIter* iter, const GtkTreeIter* child) const {
  uint32_t node;
  if (!node_of(child, node) || nodes_[node].parent == None) return FALSE;
  fill(iter, nodes_[node].parent);
  return TRUE;
}

void TreeItems::model_ref_node(const GtkTreeIter* iter) {
  uint32_t node;
  if (node_of(iter, node) && nodes_[node].parent != None)
    nodes_[nodes_[node].parent].children_shown = 1;
}

// ---------------------------------------------------------------------------
// The GObject

namespace {

struct TreeItemModel {
  GObject parent_instance;
  TreeItems items;  // built in init, destroyed in finalize
};

struct TreeItemModelClass {
  GObjectClass parent_class;
};

void tree_item_model_tree_model_init(GtkTreeModelIface* iface);

G_DEFINE_TYPE_WITH_CODE(TreeItemModel, tree_item_model, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(GTK_TYPE_TREE_MODEL,
                                              tree_item_model_tree_model_init))

TreeItems& items_of(GtkTreeModel* model) {
  return G_TYPE_CHECK_INSTANCE_CAST(model, tree_item_model_get_type(), TreeItemModel)->items;
}

void tree_item_model_init(TreeItemModel* self) {
  // GType hands over zeroed memory; the C++ member is built in place here.
  std::construct_at(&self->items, GTK_TREE_MODEL(self));
}

void tree_item_model_finalize(GObject* object) {
  std::destroy_at(&G_TYPE_CHECK_INSTANCE_CAST(object, tree_item_model_get_type(), TreeItemModel)
                       ->items);
  G_OBJECT_CLASS(tree_item_model_parent_class)->finalize(object);
}

void tree_item_model_class_init(TreeItemModelClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = tree_item_model_finalize;
}

GtkTreeModelFlags model_get_flags(GtkTreeModel*) { return GtkTreeModelFlags(0); }

gint model_get_n_columns(GtkTreeModel*) { return TreeColumnCount; }

GType model_get_column_type(GtkTreeModel*, gint column) {
  switch (column) {
    case TreeColumnCheck:
    case TreeColumnInconsistent:
      return G_TYPE_BOOLEAN;
    case TreeColumnIcon:
      return GDK_TYPE_PIXBUF;
    case TreeColumnText:
      return G_TYPE_STRING;
    case TreeColumnForeground:
    case TreeColumnBackground:
      return GDK_TYPE_COLOR;
    case TreeColumnData:
      return G_TYPE_LONG;
    default:
      return G_TYPE_INVALID;
  }
}

gboolean model_get_iter(GtkTreeModel* model, GtkTreeIter* iter, GtkTreePath* path) {
  return items_of(model).model_get_iter(iter, path);
}

GtkTreePath* model_get_path(GtkTreeModel* model, GtkTreeIter* iter) {
  TreeItems& items = items_of(model);
  return items.path(items.index(iter));
}

void model_get_value(GtkTreeModel* model, GtkTreeIter* iter, gint column, GValue* value) {
  items_of(model).model_get_value(iter, column, value);
}

gboolean model_iter_next(GtkTreeModel* model, GtkTreeIter* iter) {
  return items_of(model).model_iter_next(iter);
}

gboolean model_iter_children(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent) {
  return items_of(model).model_iter_nth_child(iter, parent, 0);
}

gboolean model_iter_has_child(GtkTreeModel* model, GtkTreeIter* iter) {
  return items_of(model).model_iter_has_child(iter);
}

gint model_iter_n_children(GtkTreeModel* model, GtkTreeIter* iter) {
  return items_of(model).model_iter_n_children(iter);
}

gboolean model_iter_nth_child(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent,
                              gint n) {
  return items_of(model).model_iter_nth_child(iter, parent, n);
}

gboolean model_iter_parent(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* child) {
  return items_of(model).model_iter_parent(iter, child);
}

void model_ref_node(GtkTreeModel* model, GtkTreeIter* iter) {
  items_of(model).model_ref_node(iter);
}

void tree_item_model_tree_model_init(GtkTreeModelIface* iface) {
  iface->get_flags = model_get_flags;
  iface->get_n_columns = model_get_n_columns;
  iface->get_column_type = model_get_column_type;
  iface->get_iter = model_get_iter;
  iface->get_path = model_get_path;
  iface->get_value = model_get_value;
  iface->iter_next = model_iter_next;
  iface->iter_children = model_iter_children;
  iface->iter_has_child = model_iter_has_child;
  iface->iter_n_children = model_iter_n_children;
  iface->iter_nth_child = model_iter_nth_child;
  iface->iter_parent = model_iter_parent;
  iface->ref_node = model_ref_node;
}

}  // namespace

GObjectPtr<GtkTreeModel> create_tree_item_model() {
  return GObjectPtr<GtkTreeModel>::adopt(
      GTK_TREE_MODEL(g_object_new(tree_item_model_get_type(), nullptr)));
}

TreeItems* tree_items(GtkTreeModel* model) {
  if (!model || !G_TYPE_CHECK_INSTANCE_TYPE(model, tree_item_model_get_type())) return nullptr;
  return &items_of(model);
}
