// The image widget in a window of its own X server: its size as the server
// lays it out, what it shows, and its clicks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "widgets/image_widget.h"
#include "tests/widget_test_support.h"

// Last: the X headers' macros clash with the test framework's names.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

using namespace core;
using namespace widgets;

namespace {

constexpr int32_t WindowNumber = 2;
constexpr int32_t ImageNumber = 0;

struct Size {
  int width;
  int height;
  bool operator==(const Size&) const = default;
};

void PrintTo(const Size& size, std::ostream* out) { *out << size.width << "x" << size.height; }

// A pixbuf of one colour (0xRRGGBB).
GdkPixbuf* solid(int side, guint32 rgb) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, side, side);
  gdk_pixbuf_fill(pixbuf, (rgb << 8) | 0xFF);
  return pixbuf;
}

class ImageWidgetTest : public WidgetLayerTest {
 protected:
  void SetUp() override {
    WidgetLayerTest::SetUp();
    window = open_test_window(WindowNumber, true, 30, 30, 300, 200);
    use_widget_list(window);
  }
  void TearDown() override {
    WidgetLayerTest::TearDown();
    for (GdkPixbuf* pixbuf : pixbufs) g_object_unref(pixbuf);
  }

  GdkPixbuf* pixbuf(int side, guint32 rgb = 0xFF0000) {
    pixbufs.push_back(solid(side, rgb));
    return pixbufs.back();
  }

  Widget& widget() { return *widget_registry().find(ImageNumber); }

  // The event box's window as the X server has it.
  Size server_size() {
    settle();
    Window root;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    XGetGeometry(gdk_x11_get_default_xdisplay(),
                 GDK_WINDOW_XID(gtk_widget_get_window(widget().outer)), &root, &x, &y, &width,
                 &height, &border, &depth);
    return {static_cast<int>(width), static_cast<int>(height)};
  }

  GtkWidget* window = nullptr;
  std::vector<GdkPixbuf*> pixbufs;
};

TEST_F(ImageWidgetTest, ImageSitsInAnEventBoxPlacedAsAsked) {
  GdkPixbuf* icon = pixbuf(16);
  intptr_t result = create_image_widget(ImageNumber, 40, 20, 16, 16, icon);
  ASSERT_NE(result, 0);
  settle();
  Widget& w = widget();
  EXPECT_EQ(reinterpret_cast<GtkWidget*>(result), w.main);
  EXPECT_TRUE(GTK_IS_IMAGE(w.main));
  ASSERT_NE(w.outer, nullptr);
  EXPECT_TRUE(GTK_IS_EVENT_BOX(w.outer));
  EXPECT_EQ(gtk_widget_get_parent(w.main), w.outer);
  EXPECT_EQ(gtk_widget_get_parent(w.outer), current_container());
  EXPECT_EQ(w.kind->code(), ImageKindCode);
  EXPECT_EQ(raw_id(w.main), ImageNumber + 1);
  EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(w.main)), icon);
  EXPECT_EQ(w.kind->get_state(w), reinterpret_cast<intptr_t>(icon));
  GtkAllocation allocation;
  gtk_widget_get_allocation(w.outer, &allocation);
  EXPECT_EQ(allocation.x, 40);
  EXPECT_EQ(allocation.y, 20);
  EXPECT_TRUE(gtk_widget_get_mapped(w.main));
}

TEST_F(ImageWidgetTest, AutomaticNumberIsReturned) {
  intptr_t number = create_image_widget(-1, 0, 0, 10, 10, nullptr);
  ASSERT_LT(number, -1);
  Widget* w = widget_registry().find(static_cast<int32_t>(number));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->kind->code(), ImageKindCode);
  EXPECT_EQ(w->kind->get_state(*w), 0);
}

TEST_F(ImageWidgetTest, WithoutAWidgetListNothingIsCreated) {
  gtk_widget_destroy(window);
  settle();
  EXPECT_EQ(create_image_widget(ImageNumber, 0, 0, 10, 10, pixbuf(16)), 0);
  EXPECT_EQ(widget_registry().find(ImageNumber), nullptr);
}

struct SizeCase {
  const char* name;
  int width, height;   // given at creation
  int image;           // side of the image given at creation, 0 for none
  std::vector<int> then;  // sides of images set afterwards, 0 for none
  Size expected;
  bool shows_image;
};

void PrintTo(const SizeCase& c, std::ostream* out) { *out << c.name; }

class ImageSizeTest : public ImageWidgetTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(ImageSizeTest, ServerLaysTheBoxOutAtItsSize) {
  const SizeCase& c = GetParam();
  ASSERT_NE(create_image_widget(ImageNumber, 10, 10, c.width, c.height,
                                c.image ? pixbuf(c.image) : nullptr),
            0);
  server_size();
  for (int side : c.then) {
    widget().kind->set_state(widget(), reinterpret_cast<intptr_t>(side ? pixbuf(side) : nullptr));
    server_size();
  }
  EXPECT_EQ(server_size(), c.expected);
  EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(widget().main)) == GTK_IMAGE_PIXBUF,
            c.shows_image);
}

INSTANTIATE_TEST_SUITE_P(
    Image, ImageSizeTest,
    testing::Values(SizeCase{"NoImageTakesTheGivenSize", 50, 30, 0, {}, {50, 30}, false},
                    SizeCase{"ImageTakesItsOwnSize", 100, 100, 16, {}, {16, 16}, true},
                    SizeCase{"LargerImageGrowsTheBox", 100, 100, 16, {32}, {32, 32}, true},
                    SizeCase{"NoImageKeepsTheSizeItHad", 100, 100, 16, {32, 0}, {32, 32}, false},
                    SizeCase{"EmptyKeepsTheGivenSize", 50, 30, 0, {0}, {50, 30}, false},
                    SizeCase{"SmallerImageShrinksTheBox", 50, 30, 0, {32, 16}, {16, 16}, true},
                    SizeCase{"ImageGivenToAnEmptyBox", 50, 30, 0, {24}, {24, 24}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageWidgetTest, NegativeSizesRequestNothingWithoutComplaint) {
  // The fixture fails on any toolkit message.
  ASSERT_NE(create_image_widget(ImageNumber, 10, 10, -5, -40, nullptr), 0);
  Size size = server_size();
  EXPECT_LE(size.width, 1);
  EXPECT_LE(size.height, 1);
}

TEST_F(ImageWidgetTest, StateIsTheImageShown) {
  GdkPixbuf* first = pixbuf(16);
  GdkPixbuf* second = pixbuf(8);
  create_image_widget(ImageNumber, 10, 10, 16, 16, first);
  WidgetKind& kind = *widget().kind;
  EXPECT_EQ(kind.get_state(widget()), reinterpret_cast<intptr_t>(first));
  kind.set_state(widget(), reinterpret_cast<intptr_t>(second));
  EXPECT_EQ(kind.get_state(widget()), reinterpret_cast<intptr_t>(second));
  EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(widget().main)), second);
  kind.set_state(widget(), 0);
  EXPECT_EQ(kind.get_state(widget()), 0);
}

TEST_F(ImageWidgetTest, TheServerShowsTheImagesPixels) {
  create_image_widget(ImageNumber, 10, 10, 16, 16, pixbuf(16, 0x00FF00));
  server_size();
  GdkPixbuf* shown = gdk_pixbuf_get_from_drawable(nullptr, gtk_widget_get_window(widget().outer),
                                                  nullptr, 0, 0, 0, 0, 16, 16);
  ASSERT_NE(shown, nullptr);
  const guchar* corner = gdk_pixbuf_get_pixels(shown);
  const guchar* middle = corner + 8 * gdk_pixbuf_get_rowstride(shown) + 8 * 3;
  for (const guchar* pixel : {corner, middle}) {
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 0xFF);
    EXPECT_EQ(pixel[2], 0);
  }
  g_object_unref(shown);
}

TEST_F(ImageWidgetTest, TheWidgetKeepsItsImageAlive) {
  GdkPixbuf* icon = solid(16, 0x0000FF);
  g_object_add_weak_pointer(G_OBJECT(icon), reinterpret_cast<gpointer*>(&icon));
  create_image_widget(ImageNumber, 10, 10, 16, 16, icon);
  g_object_unref(icon);
  ASSERT_NE(icon, nullptr);
  gtk_widget_destroy(window);
  settle();
  EXPECT_EQ(icon, nullptr);
}

TEST_F(ImageWidgetTest, BorderPutsASunkenFrameAroundTheImage) {
  create_image_widget(ImageNumber, 10, 10, 16, 16, pixbuf(16), ImageFlags::Border);
  GtkWidget* frame = gtk_bin_get_child(GTK_BIN(widget().outer));
  ASSERT_TRUE(GTK_IS_FRAME(frame));
  EXPECT_EQ(gtk_frame_get_shadow_type(GTK_FRAME(frame)), GTK_SHADOW_IN);
  EXPECT_EQ(gtk_frame_get_label_widget(GTK_FRAME(frame)), nullptr);
  EXPECT_EQ(gtk_bin_get_child(GTK_BIN(frame)), widget().main);
  Size size = server_size();
  EXPECT_GT(size.width, 16);
  EXPECT_GT(size.height, 16);
}

TEST_F(ImageWidgetTest, ClicksAreReportedUnlessHidden) {
  set_double_click_time(0);
  create_image_widget(ImageNumber, 10, 10, 40, 40, nullptr);
  settle();
  take_widget_events();
  pointer_to(widget().outer, 20, 20);
  press(1);
  release(1);
  EXPECT_EQ(take_widget_events(), (std::vector<WindowEvent>{{EventType::WidgetEvent, ImageNumber, WindowNumber, WidgetEventData::LeftClick}}));

  // The viewer's icon widget is hidden right away and never clicked.
  set_widget_hidden(ImageNumber, 1);
  settle();
  EXPECT_FALSE(gtk_widget_get_visible(widget().outer));
  press(1);
  release(1);
  EXPECT_EQ(take_widget_events(), std::vector<WindowEvent>{});
}

}  // namespace
