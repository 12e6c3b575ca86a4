# Image decoders, numbered images and the embedded folder icon.
# Paths are taken from this file's place, so the file can be included from
# any directory.
get_filename_component(imaging_dir ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(decoders_dir ${imaging_dir}/decoders)

pkg_check_modules(IMAGING_JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(IMAGING_PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(IMAGING_TIFF REQUIRED IMPORTED_TARGET libtiff-4)
pkg_check_modules(IMAGING_OPENJPEG REQUIRED IMPORTED_TARGET libopenjp2)
pkg_check_modules(IMAGING_ZLIB REQUIRED IMPORTED_TARGET zlib)

# The decoder list and the six formats; needs no toolkit.
add_library(viewer_decoders STATIC
  ${decoders_dir}/decoder_registry.cpp
  ${decoders_dir}/bmp_decoder.cpp
  ${decoders_dir}/png_decoder.cpp
  ${decoders_dir}/jpeg_decoder.cpp
  ${decoders_dir}/jpeg2000_decoder.cpp
  ${decoders_dir}/standard_decoders.cpp
  ${decoders_dir}/tga_decoder.cpp
  ${decoders_dir}/tiff_decoder.cpp
)
target_include_directories(viewer_decoders PUBLIC ${imaging_dir})
target_link_libraries(viewer_decoders PUBLIC
  PkgConfig::IMAGING_JPEG PkgConfig::IMAGING_PNG PkgConfig::IMAGING_TIFF
  PkgConfig::IMAGING_OPENJPEG PkgConfig::IMAGING_ZLIB)

# The folder icon: the committed JPEG file becomes constant data at build time.
set(folder_icon_source ${CMAKE_CURRENT_BINARY_DIR}/folder_icon_data.cpp)
add_custom_command(
  OUTPUT ${folder_icon_source}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${imaging_dir}/icon/folder_icon.jpg
          -DOUTPUT=${folder_icon_source} -DNAME=folder_icon -DHEADER=folder_icon.h
          -P ${imaging_dir}/icon/embed_file.cmake
  DEPENDS ${imaging_dir}/icon/folder_icon.jpg ${imaging_dir}/icon/embed_file.cmake
  COMMENT "Embedding the folder icon"
  VERBATIM)
add_library(viewer_folder_icon STATIC ${folder_icon_source})
target_include_directories(viewer_folder_icon PUBLIC ${imaging_dir})

# Numbered images over GDK pixbufs, with the decoders and the icon.
add_library(viewer_imaging STATIC ${imaging_dir}/images.cpp)
target_include_directories(viewer_imaging PUBLIC ${imaging_dir})
target_link_libraries(viewer_imaging PUBLIC viewer_decoders viewer_folder_icon runtime
                      PkgConfig::GTK2)

if(BUILD_TESTING)
# Test images made by the formats' own tools, with their reference decodes.
set(decoder_test_images ${CMAKE_CURRENT_BINARY_DIR}/decoder-test-images)
add_custom_command(
  OUTPUT ${decoder_test_images}/stamp
  COMMAND bash ${decoders_dir}/tests/make_test_images.sh ${decoder_test_images}
          ${imaging_dir}/icon/folder_icon.jpg
  DEPENDS ${decoders_dir}/tests/make_test_images.sh ${imaging_dir}/icon/folder_icon.jpg
  COMMENT "Making the decoder test images"
  VERBATIM)
add_custom_target(decoder_test_images DEPENDS ${decoder_test_images}/stamp)

add_library(decoder_test_support STATIC
  ${decoders_dir}/tests/reference_image.cpp
  ${decoders_dir}/tests/decode_harness.cpp
)
target_include_directories(decoder_test_support PUBLIC ${decoders_dir}/tests)
target_compile_definitions(decoder_test_support PUBLIC
  TEST_IMAGE_DIR="${decoder_test_images}")
target_link_libraries(decoder_test_support PUBLIC viewer_decoders GTest::gtest)
add_dependencies(decoder_test_support decoder_test_images)

add_executable(image_decoder_tests
  ${decoders_dir}/tests/image_formats_test.cpp
  ${decoders_dir}/tests/damaged_images_test.cpp
  ${decoders_dir}/tests/folder_icon_test.cpp
)
target_link_libraries(image_decoder_tests PRIVATE viewer_decoders viewer_folder_icon
                      decoder_test_support GTest::gtest_main)
gtest_discover_tests(image_decoder_tests WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                     DISCOVERY_TIMEOUT 60)

# The registry's own tests register their own decoders, so they run apart.
add_executable(decoder_registry_tests ${decoders_dir}/tests/decoder_registry_test.cpp)
target_link_libraries(decoder_registry_tests PRIVATE viewer_decoders GTest::gtest_main)
gtest_discover_tests(decoder_registry_tests WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                     DISCOVERY_TIMEOUT 60)

add_executable(images_tests ${imaging_dir}/tests/images_test.cpp)
target_link_libraries(images_tests PRIVATE viewer_imaging decoder_test_support gtk_test_main)
add_x_tests(images_tests)
endif()

if(TREE_FUZZ)
  # libFuzzer over identify_image and decode_pixels with all six decoders.
  add_executable(image_decoders_fuzz ${decoders_dir}/fuzz/image_decoders_fuzz.cpp)
  target_link_libraries(image_decoders_fuzz PRIVATE viewer_decoders)
  target_link_options(image_decoders_fuzz PRIVATE -fsanitize=fuzzer)
  set(fuzz_work ${CMAKE_CURRENT_BINARY_DIR}/image-decoders-fuzz-corpus)
  file(MAKE_DIRECTORY ${fuzz_work})
  # A short run from the seed files; new inputs go to the build tree.
  add_test(NAME image_decoders_fuzz_smoke
           COMMAND image_decoders_fuzz -max_total_time=30 -timeout=10 -rss_limit_mb=2048
                   ${fuzz_work} ${decoders_dir}/fuzz/corpus)
endif()
