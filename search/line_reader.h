// The reading side of a search: lists read as raw bytes, line by line.
//
// A line ends at LF, CR LF, a lone CR or a zero byte; the terminator is not
// part of the line, and a final line without one still counts. A UTF-8
// byte-order mark at the very start of a list is not content and is
// skipped. Bytes are never decoded here: a line is exactly the bytes between
// its terminators.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "byte_buffer.h"

// Lines stored one after another, each followed by a single '\n', so that a
// search over the whole block never finds a term across two lines.
struct LineBlock {
  ByteBuffer bytes;
  std::vector<size_t> ends;  // offset of each line's '\n'

  size_t count() const { return ends.size(); }
  size_t start(size_t i) const { return i == 0 ? 0 : ends[i - 1] + 1; }
  std::string_view line(size_t i) const { return {bytes.data() + start(i), ends[i] - start(i)}; }
  void clear() {
    bytes.clear();
    ends.clear();
  }
  void add(std::string_view line) {
    bytes.append(line);
    end_line();
  }
  void end_line() {
    ends.push_back(bytes.size());
    bytes.push_back('\n');
  }
};

// One list file, read in large blocks. A file that cannot be opened reads as
// empty, and a read error counts as the end of the file.
class ListReader {
 public:
  explicit ListReader(const char* path);
  ~ListReader();
  ListReader(const ListReader&) = delete;
  ListReader& operator=(const ListReader&) = delete;

  // Appends the next line to `block`; false (nothing appended) after the
  // last line.
  bool read_line(LineBlock& block);

 private:
  bool fill();  // more bytes in the buffer; false at the end of the file

  int fd_ = -1;
  std::unique_ptr<char[]> buffer_;
  size_t begin_ = 0, end_ = 0;  // the unread bytes
  bool at_end_ = false;
};

// Pairs of lines: pair n is line n of the folder list with line n of the
// file list. The folder list decides how many pairs there are; a file list
// that ends first gives empty file lines, and its extra lines are ignored.
struct PairBatch {
  LineBlock folders, files;
  size_t count() const { return folders.count(); }
  void clear() {
    folders.clear();
    files.clear();
  }
};

class PairReader {
 public:
  // Batches end after this many pairs or once this many bytes are read, and
  // hold at least one pair.
  static constexpr size_t BatchPairs = 16384;
  static constexpr size_t BatchBytes = size_t{2} << 20;

  PairReader(const char* folders, const char* files);
  // Replaces the content of `batch` with the next pairs; false when no pair
  // is left.
  bool read_batch(PairBatch& batch);

 private:
  ListReader folders_, files_;
  bool files_left_ = true;
};
