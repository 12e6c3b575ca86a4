#include "tree/tree_accessibility.h"

#include <atk/atk.h>

namespace tree {

void name_tree(GtkWidget* view, const std::string& name) {
  if (AtkObject* accessible = view ? gtk_widget_get_accessible(view) : nullptr)
    atk_object_set_name(accessible, name.c_str());
}

void name_find_entry(GtkWidget* entry) {
  if (AtkObject* accessible = entry ? gtk_widget_get_accessible(entry) : nullptr)
    atk_object_set_name(accessible, "Find");
}

void set_tree_busy(GtkWidget*, bool) {}

void set_entry_invalid(GtkWidget*, bool) {}

}  // namespace tree
