// Reading the test images and their reference decodes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string test_image_path(const std::string& name);
std::vector<uint8_t> read_file_bytes(const std::string& path);

// Pixels as 8-bit RGBA, four bytes per pixel, rows top to bottom; alpha is
// 255 where the source has none.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;

  const uint8_t* pixel(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// A binary netpbm file of maxval 255: P5 (grey), P6 (RGB) or P7 with 1 to 4
// samples per pixel (grey, grey + alpha, RGB, RGBA). Fails the current test
// and returns an empty image when the file is not one.
RgbaImage read_netpbm(const std::string& path);

// One component as OpenJPEG writes it in PGX form: raw sample values.
struct PgxComponent {
  int width = 0;
  int height = 0;
  int precision = 0;
  bool is_signed = false;
  std::vector<int32_t> samples;
};
PgxComponent read_pgx(const std::string& path);
