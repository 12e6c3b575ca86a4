#include "app/run_viewer.h"

#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "images/decoders/decoder_registry.h"
#include "images/decoders/decoders.h"
#include "core/event_queue.h"
#include "images/folder_icon.h"
#include "widgets/image_widget.h"
#include "images/images.h"
#include "tree/template_line.h"
#include "runtime/text_file.h"
#include "tree/tree_widget.h"
#include "core/viewer_settings.h"
#include "widgets/widget.h"
#include "core/window.h"

namespace app {

namespace {

constexpr int32_t MainWindow = 0;
constexpr int32_t FolderIcon = 0;  // image
constexpr int32_t IconWidget = 0;
constexpr int32_t TreeWidget = 1;

// The toolkit would select the user's locale itself and complain on standard
// error when the C library lacks it. The same choice is made here quietly:
// the user's locale, else "C".
void select_locale() {
  if (!setlocale(LC_ALL, "")) setlocale(LC_ALL, "C");
  gtk_disable_setlocale();
}

void start_libraries() {
  images::init_decoders();
  images::register_bmp_decoder();
  images::init_images();
  core::init_event_queue();
  core::init_windows();
  widgets::init_widgets();
  runtime::init_files();
  images::register_png_decoder();
  images::register_jpeg_decoder();
  images::register_jpeg2000_decoder();
  images::register_tga_decoder();
  images::register_tiff_decoder();
}

uint32_t window_flags(const core::ViewerSettings& settings) {
  return core::WindowFlags::TitleBar | (settings.borderless ? core::WindowFlags::Borderless : 0u);
}

// The tree fills the window but for a 10-pixel margin; like every size here
// it is 32-bit arithmetic that wraps, so a small window gives a negative
// size, which the tree hands to the toolkit as it is.
int32_t less_margins(int32_t size) {
  return static_cast<int32_t>(static_cast<uint32_t>(size) - 20u);
}

// A window of no size cannot be used: a missing or non-positive width or
// height gets a usable one; every positive size is kept as it is.
constexpr int32_t DefaultWidth = 480;
constexpr int32_t DefaultHeight = 640;

int32_t usable(int32_t size, int32_t fallback) { return size > 0 ? size : fallback; }

[[noreturn]] void end_process() {
  shutdown_runtime();
  std::exit(0);
}

// Handles whatever the toolkit has to do just now without waiting; a close
// request ends the program at once.
void handle_pending_events() {
  for (;;) {
    const int32_t result = core::wait_event(0);
    if (result == core::EventType::CloseRequest) end_process();
    if (result == 0) return;
  }
}

gboolean on_template_readable(GIOChannel*, GIOCondition, gpointer ready) {
  *static_cast<bool*>(ready) = true;
  return FALSE;
}

// Waits until the template has bytes (or its end) for the reader, handling
// the toolkit's events meanwhile.
void wait_for_template(int descriptor) {
  bool ready = false;
  GIOChannel* channel = g_io_channel_unix_new(descriptor);
  const guint watch = g_io_add_watch(channel, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                     on_template_readable, &ready);
  g_io_channel_unref(channel);
  while (!ready) {
    if (core::wait_event(-1) == core::EventType::CloseRequest) {
      g_source_remove(watch);
      end_process();
    }
  }
}

// Fills tree widget 1 from the template in slices of about this long, with
// the toolkit's events handled between them: the window paints at once, the
// rows show as they come, and the close button works all the while, also
// for a template that is a FIFO or never ends.
constexpr gint64 SliceMicroseconds = 30000;
constexpr size_t LinesPerCheck = 2048;

void load_template() {
  tree::TemplateReader reader;
  if (!reader.open(tree::TemplateFileName)) return;
  // Room for the whole file up front, so that filling never copies what is
  // there: a text is never longer than its line, and lines of real trees
  // take well over eight bytes (shorter ones only make the room grow).
  if (reader.size() > 0) {
    const auto bytes = static_cast<size_t>(reader.size());
    tree::reserve_tree_items(TreeWidget, bytes / 8 + 1, bytes);
  }
  std::string text;
  // One template line becomes one node; folders show the folder icon when
  // it decoded.
  const auto add_node = [&text](const tree::TemplateLine& line) {
    text.assign(line.text);
    widgets::add_widget_item_utf8(TreeWidget, -1, text.c_str(),
                         line.folder ? images::image_handle(FolderIcon) : nullptr, line.level);
  };
  // Rows are held back from the view while they are read and shown
  // together between slices, which the view takes far faster than one by
  // one. Events are handled until every row is shown.
  tree::hold_tree_appends(TreeWidget);
  bool focused = false;
  auto status = tree::TemplateReader::Status::More;
  for (;;) {
    const gint64 slice_end = g_get_monotonic_time() + SliceMicroseconds;
    while (status == tree::TemplateReader::Status::More && g_get_monotonic_time() < slice_end)
      status = reader.read(LinesPerCheck, add_node);
    // Rows that came before a pause in the template show during it.
    const bool blocked = status == tree::TemplateReader::Status::Blocked;
    const bool all_shown =
        tree::show_held_tree_rows(TreeWidget, blocked ? -1 : g_get_monotonic_time() + SliceMicroseconds);
    if (!focused) focused = tree::focus_first_row(TreeWidget);
    if (status == tree::TemplateReader::Status::End && all_shown) {
      tree::release_tree_appends(TreeWidget);
      return;
    }
    if (blocked) {
      wait_for_template(reader.descriptor());
      status = tree::TemplateReader::Status::More;
    } else {
      handle_pending_events();
    }
  }
}

// Names the display that could not be opened, as the user gave it.
void report_no_display() {
  const char* name = gdk_get_display_arg_name();
  if (!name) name = std::getenv("DISPLAY");
  if (name && *name)
    std::fprintf(stderr, "treeviewer: cannot open display %s\n", name);
  else
    std::fprintf(stderr, "treeviewer: cannot open display: DISPLAY is not set\n");
}

}  // namespace

void run_viewer(int argc, char** argv) {
  select_locale();
  // Without a display there is nothing to show, and a script that started
  // the program must be able to tell.
  if (!gtk_init_check(&argc, &argv)) {
    report_no_display();
    std::exit(1);
  }
  start_libraries();

  const core::ViewerSettings settings = core::read_viewer_settings();
  const int32_t width = usable(settings.width, DefaultWidth);
  const int32_t height = usable(settings.height, DefaultHeight);
  if (!core::open_window(MainWindow, settings.x, settings.y, width, height, settings.title,
                   window_flags(settings))) {
    end_process();
  }
  core::set_window_keep_above(MainWindow, settings.keep_above ? 1 : 0);

  // The icon's true length: the decoders must not be told of bytes beyond it.
  if (images::decode_image(FolderIcon, {images::folder_icon_data, images::folder_icon_size})) {
    widgets::create_image_widget(IconWidget, 680, 10, 16, 16, images::image_handle(FolderIcon));
    widgets::set_widget_hidden(IconWidget, 1);
  }
  tree::create_tree_widget(TreeWidget, 10, 10, less_margins(width), less_margins(height));

  load_template();
  tree::focus_first_row(TreeWidget);

  while (core::wait_event(-1) != core::EventType::CloseRequest) {
  }
  end_process();
}

void shutdown_runtime() {
  runtime::close_all_files();
  core::release_windows();
  images::release_images();
}

}  // namespace app
