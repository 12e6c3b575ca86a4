#include "tree/tree_model.h"

#include <memory>
#include <string>
#include <vector>

#include "gtk/toolkit_colour.h"
#include "tree/item_text.h"

namespace tree {

static_assert(sizeof(glong) == sizeof(intptr_t), "item data travels as a glong");

namespace {

void keep_pixbuf(IconHandle icon) { g_object_ref(static_cast<GdkPixbuf*>(icon)); }
void release_pixbuf(IconHandle icon) { g_object_unref(static_cast<GdkPixbuf*>(icon)); }

GtkTreePath* new_path(const std::vector<int>& positions) {
  if (positions.empty()) return nullptr;
  GtkTreePath* path = gtk_tree_path_new();
  for (int i : positions) gtk_tree_path_append_index(path, i);
  return path;
}

// The store with the model's iters and signals.
class ModelAdapter final : public TreeStoreObserver {
 public:
  explicit ModelAdapter(GtkTreeModel* model)
      : model_(model), store_(IconKeeper{keep_pixbuf, release_pixbuf}, this) {}

  TreeStore& store() { return store_; }

  // Iters made before the items were renumbered stop being valid. The stamp
  // is never 0, the mark of a spent iter.
  int stamp() const {
    const unsigned stamp = store_.generation() + 1u;
    return static_cast<int>(stamp == 0 ? 1u : stamp);
  }

  void fill(GtkTreeIter* iter, int32_t index) const {
    iter->stamp = stamp();
    iter->user_data = reinterpret_cast<gpointer>(static_cast<uintptr_t>(index));
    iter->user_data2 = nullptr;
    iter->user_data3 = nullptr;
  }

  int32_t index(const GtkTreeIter* iter) const {
    if (!iter || iter->stamp != stamp()) return -1;
    const uintptr_t value = reinterpret_cast<uintptr_t>(iter->user_data);
    return value < static_cast<uintptr_t>(shown_count()) ? static_cast<int32_t>(value) : -1;
  }

  GtkTreePath* path(int32_t index) const { return new_path(store_.path(index)); }

  // The rows the views know: all of them, except those the store holds
  // back (TreeStore::hold_reports).
  int32_t shown_count() const { return store_.reported_count(); }
  bool shown(int32_t index) const { return index >= 0 && index < shown_count(); }

  void inserted(int32_t index) override { emit(index, gtk_tree_model_row_inserted); }
  void deleted(const std::vector<int>& positions) override {
    GtkTreePath* path = new_path(positions);
    if (!path) return;
    gtk_tree_model_row_deleted(model_, path);
    gtk_tree_path_free(path);
  }
  void changed(int32_t index) override { emit(index, gtk_tree_model_row_changed); }
  void has_child_toggled(int32_t index) override {
    emit(index, gtk_tree_model_row_has_child_toggled);
  }

 private:
  using RowSignal = void (*)(GtkTreeModel*, GtkTreePath*, GtkTreeIter*);
  void emit(int32_t index, RowSignal signal) {
    GtkTreeIter iter;
    fill(&iter, index);
    GtkTreePath* row = path(index);
    if (!row) return;
    signal(model_, row, &iter);
    gtk_tree_path_free(row);
  }

  GtkTreeModel* model_;
  TreeStore store_;
};

struct TreeItemModel {
  GObject parent_instance;
  ModelAdapter adapter;  // built in init, destroyed in finalize
};

struct TreeItemModelClass {
  GObjectClass parent_class;
};

void tree_item_model_tree_model_init(GtkTreeModelIface* iface);

G_DEFINE_TYPE_WITH_CODE(TreeItemModel, tree_item_model, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(GTK_TYPE_TREE_MODEL,
                                              tree_item_model_tree_model_init))

ModelAdapter& adapter_of(GtkTreeModel* model) {
  return G_TYPE_CHECK_INSTANCE_CAST(model, tree_item_model_get_type(), TreeItemModel)->adapter;
}

void tree_item_model_init(TreeItemModel* self) {
  // GType hands over zeroed memory; the C++ member is built in place here.
  std::construct_at(&self->adapter, GTK_TREE_MODEL(self));
}

void tree_item_model_finalize(GObject* object) {
  std::destroy_at(&G_TYPE_CHECK_INSTANCE_CAST(object, tree_item_model_get_type(), TreeItemModel)
                       ->adapter);
  G_OBJECT_CLASS(tree_item_model_parent_class)->finalize(object);
}

void tree_item_model_class_init(TreeItemModelClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = tree_item_model_finalize;
}

GtkTreeModelFlags model_get_flags(GtkTreeModel*) { return GtkTreeModelFlags(0); }

gint model_get_n_columns(GtkTreeModel*) { return TreeColumn::Count; }

GType model_get_column_type(GtkTreeModel*, gint column) {
  switch (column) {
    case TreeColumn::Check:
    case TreeColumn::Inconsistent:
      return G_TYPE_BOOLEAN;
    case TreeColumn::Icon:
      return GDK_TYPE_PIXBUF;
    case TreeColumn::Text:
      return G_TYPE_STRING;
    case TreeColumn::Foreground:
    case TreeColumn::Background:
      return GDK_TYPE_COLOR;
    case TreeColumn::Data:
      return G_TYPE_LONG;
    default:
      return G_TYPE_INVALID;
  }
}

gboolean model_get_iter(GtkTreeModel* model, GtkTreeIter* iter, GtkTreePath* path) {
  ModelAdapter& adapter = adapter_of(model);
  const int32_t index =
      adapter.store().at_path(gtk_tree_path_get_indices(path), gtk_tree_path_get_depth(path));
  if (!adapter.shown(index)) return FALSE;
  adapter.fill(iter, index);
  return TRUE;
}

GtkTreePath* model_get_path(GtkTreeModel* model, GtkTreeIter* iter) {
  ModelAdapter& adapter = adapter_of(model);
  return adapter.path(adapter.index(iter));
}

void model_get_value(GtkTreeModel* model, GtkTreeIter* iter, gint column, GValue* value) {
  if (column < 0 || column >= TreeColumn::Count) return;
  g_value_init(value, model_get_column_type(model, column));
  ModelAdapter& adapter = adapter_of(model);
  const TreeStore& store = adapter.store();
  const int32_t index = adapter.index(iter);
  if (index < 0) return;
  switch (column) {
    case TreeColumn::Check:
      g_value_set_boolean(value, store.checked(index));
      break;
    case TreeColumn::Inconsistent:
      g_value_set_boolean(value, store.inconsistent(index));
      break;
    case TreeColumn::Icon:
      g_value_set_object(value, store.icon(index));
      break;
    case TreeColumn::Text: {
      std::string shown;
      g_value_set_string(value, displayed_text(store.text(index), shown) ? shown.c_str()
                                                                          : store.text(index));
      break;
    }
    case TreeColumn::Foreground:
    case TreeColumn::Background: {
      const int32_t c = store.colour(index, column == TreeColumn::Foreground ? TreeColour::Foreground
                                                                            : TreeColour::Background);
      if (c != NoColour) {
        GdkColor gdk = gtk::toolkit_colour(c);
        g_value_set_boxed(value, &gdk);
      }
      break;
    }
    case TreeColumn::Data:
      g_value_set_long(value, static_cast<glong>(store.data(index)));
      break;
  }
}

gboolean model_iter_next(GtkTreeModel* model, GtkTreeIter* iter) {
  ModelAdapter& adapter = adapter_of(model);
  const int32_t next = adapter.store().next_sibling(adapter.index(iter));
  if (!adapter.shown(next)) {
    iter->stamp = 0;
    return FALSE;
  }
  adapter.fill(iter, next);
  return TRUE;
}

gboolean model_iter_nth_child(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent,
                              gint n) {
  ModelAdapter& adapter = adapter_of(model);
  int32_t parent_index = -1;
  if (parent && (parent_index = adapter.index(parent)) < 0) return FALSE;
  const int32_t child = adapter.store().child(parent_index, n);
  if (!adapter.shown(child)) return FALSE;
  adapter.fill(iter, child);
  return TRUE;
}

gboolean model_iter_children(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent) {
  return model_iter_nth_child(model, iter, parent, 0);
}

gboolean model_iter_has_child(GtkTreeModel* model, GtkTreeIter* iter) {
  ModelAdapter& adapter = adapter_of(model);
  const int32_t index = adapter.index(iter);
  return adapter.store().has_children(index) && adapter.shown(index + 1);
}

gint model_iter_n_children(GtkTreeModel* model, GtkTreeIter* iter) {
  ModelAdapter& adapter = adapter_of(model);
  const TreeStore& store = adapter.store();
  const int32_t index = iter ? adapter.index(iter) : -1;
  if (iter && index < 0) return 0;
  if (store.held_count() == 0) return iter ? store.child_count(index) : store.top_level_count();
  // Held rows come after every shown one, so the shown children come first.
  if (!iter) {
    int32_t low = 0;
    int32_t high = store.top_level_count();
    while (low < high) {
      const int32_t middle = low + (high - low) / 2;
      if (adapter.shown(store.child(-1, middle)))
        low = middle + 1;
      else
        high = middle;
    }
    return low;
  }
  gint count = 0;
  for (int32_t child = store.child(index, 0); adapter.shown(child); child = store.next_sibling(child))
    ++count;
  return count;
}

gboolean model_iter_parent(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* child) {
  ModelAdapter& adapter = adapter_of(model);
  const int32_t index = adapter.index(child);
  const int32_t parent = index < 0 ? -1 : adapter.store().parent(index);
  if (parent < 0) return FALSE;
  adapter.fill(iter, parent);
  return TRUE;
}

void model_ref_node(GtkTreeModel* model, GtkTreeIter* iter) {
  ModelAdapter& adapter = adapter_of(model);
  adapter.store().see_children_of_parent(adapter.index(iter));
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

ModelAdapter* adapter_if_ours(GtkTreeModel* model) {
  if (!model || !G_TYPE_CHECK_INSTANCE_TYPE(model, tree_item_model_get_type())) return nullptr;
  return &adapter_of(model);
}

}  // namespace

gtk::GObjectPtr<GtkTreeModel> create_tree_item_model() {
  return gtk::GObjectPtr<GtkTreeModel>::adopt(
      GTK_TREE_MODEL(g_object_new(tree_item_model_get_type(), nullptr)));
}

TreeStore* tree_items(GtkTreeModel* model) {
  ModelAdapter* adapter = adapter_if_ours(model);
  return adapter ? &adapter->store() : nullptr;
}

bool tree_model_iter(GtkTreeModel* model, int32_t index, GtkTreeIter* iter) {
  ModelAdapter* adapter = adapter_if_ours(model);
  if (!adapter || !adapter->store().valid(index)) return false;
  adapter->fill(iter, index);
  return true;
}

int32_t tree_model_index(GtkTreeModel* model, const GtkTreeIter* iter) {
  ModelAdapter* adapter = adapter_if_ours(model);
  return adapter ? adapter->index(iter) : -1;
}

GtkTreePath* tree_model_path(GtkTreeModel* model, int32_t index) {
  ModelAdapter* adapter = adapter_if_ours(model);
  return adapter ? adapter->path(index) : nullptr;
}

}  // namespace tree
