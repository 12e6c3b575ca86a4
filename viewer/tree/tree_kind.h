// The tree's table of operations in the widget layer (WidgetKind), and the
// kind fields of a tree widget's record.
#pragma once

#include <gtk/gtk.h>

#include "gtk/gobject_ptr.h"
#include "tree/column_width.h"
#include "tree/tree_store.h"
#include "widgets/widget.h"

namespace tree {

struct TreeData : widgets::WidgetData {
  explicit TreeData(gtk::GObjectPtr<GtkTreeModel> model);
  gtk::GObjectPtr<GtkTreeModel> model;
  TreeStore& items;
  ColumnWidth column_width;
};

// The tree's kind, made on first use and never released.
widgets::WidgetKind& tree_kind();

// The record's tree fields; nullptr for a widget of another kind.
TreeData* tree_data(widgets::Widget& widget);

}  // namespace tree
