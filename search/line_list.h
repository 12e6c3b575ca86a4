// One input list of the search: every line of a file, kept as the bytes it
// was read with (decoded only when needed), so that entry n costs O(1) and
// the list takes little more memory than the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class LineList {
 public:
  // Reads every line of the file with the text file rules, through file
  // `number`; a file that cannot be opened gives an empty list.
  static LineList read(int number, std::u16string_view name);

  size_t size() const { return ends_.size(); }
  // Entry n, counted from 1, as raw bytes; empty beyond the last line.
  std::string_view entry(size_t n) const {
    if (n == 0 || n > ends_.size()) return {};
    const size_t start = n == 1 ? 0 : ends_[n - 2];
    return std::string_view(bytes_).substr(start, ends_[n - 1] - start);
  }

 private:
  std::string bytes_;
  std::vector<size_t> ends_;
};
