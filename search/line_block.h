// A block of lines as the matcher searches them: one run of bytes and
// where each line lies in it.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "search/byte_buffer.h"

namespace search {

// Lines as spans of one block of bytes: as read, with their terminators
// between them, or (added one by one) each followed by "\n". A terminator is
// never part of a term, so a search over the whole block never finds a term
// across two lines.
struct LineBlock {
  ByteBuffer bytes;
  std::vector<size_t> starts, ends;  // each line is bytes [start, end)
  bool ascii = true;                 // no line holds a byte of 0x80 or above

  size_t count() const { return ends.size(); }
  std::string_view line(size_t i) const { return {bytes.data() + starts[i], ends[i] - starts[i]}; }
  void clear() {
    bytes.clear();
    starts.clear();
    ends.clear();
    ascii = true;
  }
  void add(std::string_view line) {
    starts.push_back(bytes.size());
    bytes.append(line);
    ends.push_back(bytes.size());
    bytes.push_back('\n');
    for (char c : line) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  }
};

}  // namespace search
