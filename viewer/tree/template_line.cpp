#include "tree/template_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include "runtime/string_functions.h"
#include "runtime/utf8.h"

namespace tree {

namespace {

// Bytes asked of the system at a time.
constexpr size_t ReadChunk = size_t{1} << 20;

// Only blanks, tabs, a sign, "$", "%" and digits can take part in a level;
// parse_int stops at the first other character, so that is where the field
// may end.
int32_t parse_level(std::string_view field) {
  size_t used = 0;
  while (used < field.size()) {
    const char c = field[used];
    const bool part = c == ' ' || c == '\t' || c == '+' || c == '-' || c == '$' || c == '%' ||
                      (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!part) break;
    ++used;
  }
  const std::u16string units(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(used));
  // The viewer keeps the low 32 bits of the 64-bit value.
  return static_cast<int32_t>(runtime::parse_int(units));
}

}  // namespace

TemplateLine parse_template_line(std::string_view line) {
  TemplateLine node;
  node.folder = !line.empty() && line.back() == '/';
  const size_t comma = line.find(',');
  node.level = parse_level(line.substr(0, comma));
  if (comma != std::string_view::npos) node.text = line.substr(comma + 1);
  // A folder's text ends with the line's final "/", which is not part of it.
  if (node.folder && !node.text.empty()) node.text.remove_suffix(1);
  return node;
}

bool TemplateReader::open(const char* name) {
  close();
  // Without O_NONBLOCK, opening a FIFO waits for a writer.
  source_ = runtime::ByteSource(runtime::Descriptor(::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC)));
  struct stat info {};
  const bool known = source_.is_open() && fstat(source_.descriptor(), &info) == 0;
  size_ = known && S_ISREG(info.st_mode) ? info.st_size : -1;
  fifo_ = known && S_ISFIFO(info.st_mode);
  buffer_.clear();
  start_ = 0;
  lines_ = runtime::LineScanner(runtime::ByteOrderMark::Skip);
  return source_.is_open();
}

void TemplateReader::close() {
  source_.close();
  std::string().swap(buffer_);
  std::string().swap(repaired_);
  start_ = 0;
}

bool TemplateReader::fill() {
  blocked_ = false;
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  const size_t kept = buffer_.size();
  buffer_.resize(kept + ReadChunk);
  const runtime::ByteSource::Filled filled = source_.fill({buffer_.data() + kept, ReadChunk});
  buffer_.resize(kept + filled.bytes);
  switch (filled.status) {
    case Status::More:
      return true;
    case Status::Blocked:
      blocked_ = true;
      return true;
    case Status::End:
      break;
  }
  // A FIFO reads as ended while no writer has come yet; it has ended only
  // once the system reports that a writer came and went.
  if (fifo_) {
    pollfd state{source_.descriptor(), POLLIN, 0};
    if (poll(&state, 1, 0) == 0 || !(state.revents & POLLHUP)) {
      blocked_ = true;
      return true;
    }
  }
  return false;
}

void TemplateReader::emit(std::string_view bytes, const TemplateNodeSink& add_node) {
  if (!runtime::is_well_formed_utf8(bytes)) {
    runtime::repair_utf8(bytes, repaired_);
    bytes = repaired_;
  }
  add_node(parse_template_line(bytes));
}

TemplateReader::Status TemplateReader::read(size_t max_lines, const TemplateNodeSink& add_node) {
  if (!source_.is_open()) return Status::End;
  size_t lines = 0;
  const auto hand_on = [&](std::string_view line) {
    emit(line, add_node);
    ++lines;
    return true;
  };
  for (;;) {
    start_ += lines_.scan(std::string_view(buffer_).substr(start_), false, max_lines - lines, hand_on);
    if (lines == max_lines) return Status::More;
    // No whole line left in the buffer: read more, or end with the last one.
    const bool more = fill();
    if (blocked_) return lines ? Status::More : Status::Blocked;
    if (more) continue;
    lines_.scan(std::string_view(buffer_).substr(start_), true, SIZE_MAX, hand_on);
    close();
    return Status::End;
  }
}

}  // namespace tree
