// The widget number on a widget's main toolkit widget, kept with the other
// object data of the toolkit glue.
#pragma once

#include "gtk/object_data.h"

namespace widgets {
using gtk::set_widget_id;
using gtk::widget_id;
}  // namespace widgets
