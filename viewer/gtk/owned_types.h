// The toolkit's own non-GObject types with one owner each.
#pragma once

#include <gtk/gtk.h>

#include "runtime/owned.h"

namespace gtk {

using OwnedTreePath = runtime::Owned<GtkTreePath, gtk_tree_path_free>;
using OwnedFontDescription = runtime::Owned<PangoFontDescription, pango_font_description_free>;
using OwnedString = runtime::Owned<gchar, g_free>;

}  // namespace gtk
