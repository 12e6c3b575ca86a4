// The tree template "tree_display_template.txt": one node per line, level
// "," text, a final "/" marking a folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/byte_source.h"
#include "runtime/line_scanner.h"

namespace tree {

// One template line as a tree node. The text points into the line it was
// parsed from and lives only as long as that line.
struct TemplateLine {
  int32_t level = 0;
  std::string_view text;  // well-formed UTF-8
  bool folder = false;
};

// Folder when the line's last character is "/"; level from the part before
// the first "," (parse_int, low 32 bits); text = everything after the first
// ",", less the final "/" of a folder. A line without "," has an empty text.
// The line must be well-formed UTF-8 (see repair_utf8).
TemplateLine parse_template_line(std::string_view line);

using TemplateNodeSink = std::function<void(const TemplateLine&)>;

// Reads the template in slices, so that the caller can keep a window alive
// between them, and never blocks: a FIFO without data, or without a writer
// yet, reports Blocked; it ends once a writer has come and gone. Lines end at LF, CR LF, a lone CR or a zero byte; a
// UTF-8 byte-order mark at the very start is skipped; malformed UTF-8 shows
// as U+FFFD, one for each maximal ill-formed subsequence.
class TemplateReader {
 public:
  using Status = runtime::ByteSource::Status;

  TemplateReader() = default;
  TemplateReader(const TemplateReader&) = delete;
  TemplateReader& operator=(const TemplateReader&) = delete;

  // Opens the file for reading; false when it cannot be opened (no line).
  bool open(const char* name);
  // The size in bytes of a regular file, else -1 (a FIFO, a device).
  int64_t size() const { return size_; }
  // The file's descriptor, to wait on while Blocked; -1 when closed.
  int descriptor() const { return source_.descriptor(); }
  // Hands at most `max_lines` lines to `add_node`, in file order. More: call
  // again; Blocked: nothing to read just now; End: the file is read and
  // closed.
  Status read(size_t max_lines, const TemplateNodeSink& add_node);

 private:
  void close();
  bool fill();  // false at the end of the file
  void emit(std::string_view bytes, const TemplateNodeSink& add_node);

  runtime::ByteSource source_;
  int64_t size_ = -1;
  bool fifo_ = false;
  bool blocked_ = false;
  // The line rules, with what they keep between reads: a byte-order mark
  // not yet ruled out, a CR that may take an LF, a long line looked through.
  runtime::LineScanner lines_{runtime::ByteOrderMark::Skip};
  std::string buffer_;  // bytes read and not yet handed on
  size_t start_ = 0;    // first unconsumed byte of buffer_
  std::string repaired_;
};

inline constexpr char TemplateFileName[] = "tree_display_template.txt";

}  // namespace tree
