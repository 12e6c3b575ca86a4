// The folder and file lists of a search, read side by side: pair n is line n
// of the folder list with line n of the file list. The folder list decides
// how many pairs there are; missing file lines read as empty.
#pragma once

#include <string>
#include <string_view>

class PairReader {
 public:
  // Opens both lists as files `folder_number` and `file_number`; a list that
  // cannot be opened reads as empty.
  PairReader(int folder_number, std::u16string_view folders, int file_number, std::u16string_view files);
  ~PairReader();
  PairReader(const PairReader&) = delete;
  PairReader& operator=(const PairReader&) = delete;

  // Appends the next pair's raw bytes to `out`, the folder's then the
  // file's, and sets `folder_end` to the end of the folder's in `out`. False
  // after the last folder line.
  bool append_next(std::string& out, size_t& folder_end);

 private:
  int folder_number_;
  int file_number_;
  bool folders_open_;
  bool files_open_;
};
