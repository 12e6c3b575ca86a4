// Test entry for everything that needs the toolkit: the tests run against
// the X server named by DISPLAY (a private Xvfb, see tests/run_with_x.sh).
#include <gtest/gtest.h>
#include <gtk/gtk.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests needs no display.
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "no X display\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
