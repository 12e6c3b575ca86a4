#include "images/decoders/tests/reference_image.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

std::string test_image_path(const std::string& name) {
  return std::string(TEST_IMAGE_DIR) + "/" + name;
}

std::vector<uint8_t> read_file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {

// The next whitespace-separated header word, skipping # comments.
std::string header_word(std::istream& in) {
  std::string word;
  while (in >> word) {
    if (word[0] != '#') return word;
    std::string rest;
    std::getline(in, rest);
  }
  return {};
}

}  // namespace

RgbaImage read_netpbm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic = header_word(in);
  int width = 0, height = 0, depth = 0, maxval = 0;
  if (magic == "P5" || magic == "P6") {
    width = std::stoi(header_word(in));
    height = std::stoi(header_word(in));
    maxval = std::stoi(header_word(in));
    depth = magic == "P5" ? 1 : 3;
  } else if (magic == "P7") {
    for (std::string key = header_word(in); !key.empty() && key != "ENDHDR";
         key = header_word(in)) {
      if (key == "TUPLTYPE") {
        header_word(in);
        continue;
      }
      int value = std::stoi(header_word(in));
      if (key == "WIDTH") width = value;
      if (key == "HEIGHT") height = value;
      if (key == "DEPTH") depth = value;
      if (key == "MAXVAL") maxval = value;
    }
  }
  in.get();  // the single whitespace byte before the samples
  if (maxval != 255 || depth < 1 || depth > 4 || width <= 0 || height <= 0) {
    ADD_FAILURE() << path << ": not an 8-bit netpbm file";
    return {};
  }
  std::vector<uint8_t> samples(size_t(width) * height * depth);
  in.read(reinterpret_cast<char*>(samples.data()), std::streamsize(samples.size()));
  if (!in) {
    ADD_FAILURE() << path << ": short netpbm file";
    return {};
  }
  RgbaImage image{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
  for (size_t i = 0; i < size_t(width) * height; ++i) {
    const uint8_t* s = &samples[i * depth];
    uint8_t* d = &image.rgba[i * 4];
    bool grey = depth <= 2;
    d[0] = s[0];
    d[1] = grey ? s[0] : s[1];
    d[2] = grey ? s[0] : s[2];
    d[3] = depth == 2 ? s[1] : depth == 4 ? s[3] : 255;
  }
  return image;
}

PgxComponent read_pgx(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  std::getline(in, line);
  std::istringstream header(line);
  std::string pg, order, sign;
  PgxComponent component;
  header >> pg >> order >> sign >> component.precision >> component.width >> component.height;
  if (pg != "PG" || component.precision < 1 || component.precision > 16) {
    ADD_FAILURE() << path << ": not a PGX file";
    return {};
  }
  component.is_signed = sign == "-";
  bool big_endian = order == "ML";
  int bytes = component.precision > 8 ? 2 : 1;
  size_t count = size_t(component.width) * component.height;
  std::vector<uint8_t> raw(count * bytes);
  in.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
  if (!in) {
    ADD_FAILURE() << path << ": short PGX file";
    return {};
  }
  component.samples.resize(count);
  for (size_t i = 0; i < count; ++i) {
    uint32_t v = bytes == 1 ? raw[i]
                 : big_endian ? uint32_t(raw[2 * i]) << 8 | raw[2 * i + 1]
                              : uint32_t(raw[2 * i + 1]) << 8 | raw[2 * i];
    int32_t value = int32_t(v);
    if (component.is_signed && v >= (1u << (bytes * 8 - 1))) value -= int32_t(1) << (bytes * 8);
    component.samples[i] = value;
  }
  return component;
}
