#include "pair_reader.h"

#include "text_file.h"

PairReader::PairReader(int folder_number, std::u16string_view folders, int file_number,
                       std::u16string_view files)
    : folder_number_(folder_number),
      file_number_(file_number),
      folders_open_(open_read(folder_number, folders) != 0),
      files_open_(open_read(file_number, files) != 0) {}

PairReader::~PairReader() {
  if (folders_open_) close_file(folder_number_);
  if (files_open_) close_file(file_number_);
}

bool PairReader::append_next(std::string& out, size_t& folder_end) {
  if (!folders_open_ || at_eof(folder_number_)) return false;
  read_line_bytes(folder_number_, out);
  folder_end = out.size();
  if (files_open_ && !at_eof(file_number_)) read_line_bytes(file_number_, out);
  return true;
}
