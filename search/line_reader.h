// The reading side of a search: lists read as raw bytes, line by line.
//
// A line ends at LF, CR LF, a lone CR or a zero byte; the terminator is not
// part of the line, and a final line without one still counts. A UTF-8
// byte-order mark at the very start of a list is not content and is
// skipped. Bytes are never decoded here: a line is exactly the bytes between
// its terminators.
#pragma once

#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "search/line_block.h"
#include "runtime/byte_source.h"
#include "runtime/line_scanner.h"

namespace search {

// An input the run cannot do without: it is there, but the system lacks
// the resources to open it (descriptors, memory). Not polymorphic: it is
// reported where descriptors have run out, and a sanitizer build checks a
// polymorphic object through a pipe it could not open then.
struct InputUnavailable {
  std::string message;  // names the file and the reason
};

// Whether an input that failed to open with this error may count as empty:
// it is missing, or the file itself refuses (permission, a folder, a loop of
// links). A lack of resources (too many open files, no memory) throws
// InputUnavailable, naming the file and the reason, instead.
void check_unopened_input(const char* path, int error);

// One list file, read in large blocks straight into the caller's line
// blocks. A file that is missing or refuses to be opened reads as empty, and
// a read error counts as the end of the file.
class ListReader {
 public:
  explicit ListReader(const char* path);

  // Adds up to `max_lines` lines to `block`, fewer once `max_bytes` bytes
  // are in it (but at least one while any is left); returns how many.
  size_t read_lines(LineBlock& block, size_t max_lines, size_t max_bytes = SIZE_MAX);
  bool read_line(LineBlock& block) { return read_lines(block, 1) == 1; }

 private:
  bool read_more(ByteBuffer& bytes);  // false at the end of the file

  runtime::ByteSource source_;
  bool at_end_ = false;
  bool first_ = true;  // nothing consumed yet: a byte-order mark may come first
  runtime::LineScanner lines_{runtime::ByteOrderMark::Skip};
  ByteBuffer carry_;  // bytes read past the last line handed out
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

}  // namespace search
