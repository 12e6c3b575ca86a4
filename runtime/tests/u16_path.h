// A path as the runtime's file functions take it: 16-bit units, one per
// byte of the path, as the tests' ASCII scratch paths convert.
#pragma once

#include <filesystem>
#include <string>

inline std::u16string to_u16(const std::filesystem::path& path) {
  const std::string bytes = path.string();
  return {bytes.begin(), bytes.end()};
}
