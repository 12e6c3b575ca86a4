#include "line_list.h"

#include "text_file.h"

LineList LineList::read(int number, std::u16string_view name) {
  LineList list;
  if (!open_read(number, name)) return list;
  // The lines together are never longer than the file.
  const int64_t length = file_length(number);
  if (length > 0) list.bytes_.reserve(static_cast<size_t>(length));
  while (!at_eof(number)) {
    read_line_bytes(number, list.bytes_);
    list.ends_.push_back(list.bytes_.size());
  }
  close_file(number);
  list.bytes_.shrink_to_fit();
  return list;
}
