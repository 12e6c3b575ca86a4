#include "run_viewer.h"

#include <gtk/gtk.h>

#include <clocale>
#include <cstdlib>

#include "decoders/decoder_registry.h"
#include "decoders/decoders.h"
#include "event_queue.h"
#include "folder_icon.h"
#include "image_widget.h"
#include "images.h"
#include "template_line.h"
#include "text_file.h"
#include "tree_widget.h"
#include "viewer_settings.h"
#include "widget.h"
#include "window.h"

namespace {

constexpr int32_t main_window = 0;
constexpr int32_t folder_icon = 0;  // image
constexpr int32_t icon_widget = 0;
constexpr int32_t tree_widget = 1;

// The toolkit would select the user's locale itself and complain on standard
// error when the C library lacks it. The same choice is made here quietly:
// the user's locale, else "C".
void select_locale() {
  if (!setlocale(LC_ALL, "")) setlocale(LC_ALL, "C");
  gtk_disable_setlocale();
}

void start_libraries() {
  init_decoders();
  register_bmp_decoder();
  init_images();
  init_event_queue();
  init_windows();
  init_widgets();
  init_files();
  register_png_decoder();
  register_jpeg_decoder();
  register_jpeg2000_decoder();
  register_tga_decoder();
  register_tiff_decoder();
}

uint32_t window_flags(const ViewerSettings& settings) {
  return TitleBar | (settings.borderless ? Borderless : 0u);
}

// The tree fills the window but for a 10-pixel margin; like every size here
// it is 32-bit arithmetic that wraps, so a small window gives a negative
// size, which the tree hands to the toolkit as it is.
int32_t less_margins(int32_t size) {
  return static_cast<int32_t>(static_cast<uint32_t>(size) - 20u);
}

// One template line becomes one node of tree widget 1; folders show the
// folder icon when it decoded.
void add_template_node(const TemplateLine& line) {
  add_widget_item(tree_widget, -1, line.text, line.folder ? image_handle(folder_icon) : nullptr,
                  line.level);
}

[[noreturn]] void end_process() {
  shutdown_runtime();
  std::exit(0);
}

}  // namespace

void run_viewer(int argc, char** argv) {
  select_locale();
  // Without a display there is nothing to show; the program still ends
  // quietly with status 0.
  if (!gtk_init_check(&argc, &argv)) std::exit(0);
  start_libraries();

  const ViewerSettings settings = read_viewer_settings();
  if (!open_window(main_window, settings.x, settings.y, settings.width, settings.height,
                   settings.title, window_flags(settings))) {
    end_process();
  }
  set_window_keep_above(main_window, settings.keep_above ? 1 : 0);

  // The icon's true length: the decoders must not be told of bytes beyond it.
  if (decode_image(folder_icon, folder_icon_data, folder_icon_size)) {
    create_image_widget(icon_widget, 680, 10, 16, 16, image_handle(folder_icon));
    set_widget_hidden(icon_widget, 1);
  }
  create_tree_widget(tree_widget, 10, 10, less_margins(settings.width),
                     less_margins(settings.height));

  read_template(add_template_node);

  while (wait_event(-1) != CloseRequest) {
  }
  end_process();
}

void shutdown_runtime() {
  close_all_files();
  release_windows();
  release_images();
}
