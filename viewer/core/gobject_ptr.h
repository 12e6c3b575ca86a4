// The GObject pointer lives with the rest of the toolkit glue; this name
// stays while code still asks for it here.
#pragma once

#include "gtk/gobject_ptr.h"

namespace core {
using gtk::GObjectPtr;
}  // namespace core
