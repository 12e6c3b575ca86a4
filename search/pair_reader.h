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

  // The next pair's raw bytes, replacing the strings' content; false after
  // the last folder line.
  bool next(std::string& folder, std::string& file);

 private:
  int folder_number_;
  int file_number_;
  bool folders_open_;
  bool files_open_;
};
