// The yardstick for treeviewer's start-up: a plain GTK 2 program that shows
// the same template in a GtkTreeStore the usual way, with the same seven
// columns, and ends when its window is closed.
//
//   gtktreestore_baseline [--detached] [template]
//
// The template defaults to "tree_display_template.txt". Lines are
// "level,text", a final "/" marking a folder, as treeviewer reads them. By
// default the store is filled while the view shows it, as treeviewer fills
// its tree; --detached fills it first and hands it to the view afterwards,
// the usual advice for bulk loads.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum { Check, Inconsistent, Icon, Text, Foreground, Background, Data, Columns };

GdkPixbuf* make_folder_icon() {
  GdkPixbuf* icon = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 16, 16);
  gdk_pixbuf_fill(icon, 0xE0B040FFu);
  return icon;
}

// Appends every line: a level above the previous row's depth makes a child
// of that row, anything else a sibling of the ancestor at that level.
void fill(GtkTreeStore* store, const char* template_path, GdkPixbuf* folder_icon) {
  FILE* file = std::fopen(template_path, "r");
  if (!file) return;
  std::vector<GtkTreeIter> path;  // the last row at each depth
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t length;
  while ((length = getline(&line, &capacity, file)) >= 0) {
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = 0;
    bool folder = length > 0 && line[length - 1] == '/';
    long level = std::strtol(line, nullptr, 10);
    const char* comma = std::strchr(line, ',');
    std::string text = comma ? std::string(comma + 1) : std::string();
    if (size_t second = text.find(','); second != std::string::npos) text.resize(second);
    if (folder && !text.empty()) text.pop_back();

    long depth = path.empty() ? 0 : std::min<long>(std::max(level, 0L), static_cast<long>(path.size()));
    path.resize(depth);
    GtkTreeIter row;
    gtk_tree_store_append(store, &row, depth > 0 ? &path[depth - 1] : nullptr);
    gtk_tree_store_set(store, &row, Check, FALSE, Icon, folder ? folder_icon : nullptr, Text,
                       text.c_str(), Foreground, nullptr, Background, nullptr, Data, 0L, -1);
    path.push_back(row);
  }
  std::free(line);
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  bool detached = false;
  const char* template_path = "tree_display_template.txt";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--detached") == 0)
      detached = true;
    else
      template_path = argv[i];
  }

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "GtkTreeStore baseline");
  gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

  GtkTreeStore* store = gtk_tree_store_new(Columns, G_TYPE_BOOLEAN, G_TYPE_BOOLEAN, GDK_TYPE_PIXBUF,
                                           G_TYPE_STRING, GDK_TYPE_COLOR, GDK_TYPE_COLOR, G_TYPE_LONG);
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  GtkWidget* view = gtk_tree_view_new();
  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  GtkCellRenderer* icon_cell = gtk_cell_renderer_pixbuf_new();
  gtk_tree_view_column_pack_start(column, icon_cell, FALSE);
  gtk_tree_view_column_set_attributes(column, icon_cell, "pixbuf", Icon, "cell-background-gdk",
                                      Background, nullptr);
  GtkCellRenderer* text_cell = gtk_cell_renderer_text_new();
  gtk_tree_view_column_pack_end(column, text_cell, TRUE);
  gtk_tree_view_column_set_attributes(column, text_cell, "text", Text, "foreground-gdk",
                                      Foreground, "cell-background-gdk", Background, nullptr);
  gtk_tree_view_append_column(GTK_TREE_VIEW(view), column);
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), FALSE);
  gtk_tree_view_set_search_column(GTK_TREE_VIEW(view), Text);
  gtk_container_add(GTK_CONTAINER(scrolled), view);
  gtk_container_add(GTK_CONTAINER(window), scrolled);
  gtk_widget_show_all(window);
  // The window appears now, as treeviewer's does before its tree is filled;
  // its events wait for the main loop.
  gdk_flush();

  GdkPixbuf* folder_icon = make_folder_icon();
  if (!detached) gtk_tree_view_set_model(GTK_TREE_VIEW(view), GTK_TREE_MODEL(store));
  fill(store, template_path, folder_icon);
  if (detached) gtk_tree_view_set_model(GTK_TREE_VIEW(view), GTK_TREE_MODEL(store));
  g_object_unref(store);
  g_object_unref(folder_icon);

  gtk_main();
  return 0;
}
