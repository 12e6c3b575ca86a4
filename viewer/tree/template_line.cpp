#include "tree/template_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/string_functions.h"
#include "runtime/utf8.h"

namespace tree {

namespace {

// Bytes asked of the system at a time.
constexpr size_t ReadChunk = size_t{1} << 20;

// Where the first line end ("\n", "\r" or a zero byte) lies in `bytes` at or
// after `from`, npos without one. Eight bytes at a time: a template is
// mostly short lines, and looking each byte up among the three ends by
// itself costs more than reading and adding the nodes.
size_t find_line_end(std::string_view bytes, size_t from) {
  constexpr uint64_t Ones = 0x0101010101010101u;
  constexpr uint64_t Highs = 0x8080808080808080u;
  const auto holds_zero = [](uint64_t word) { return (word - Ones) & ~word & Highs; };
  size_t i = from;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if (holds_zero(word) | holds_zero(word ^ (Ones * '\n')) | holds_zero(word ^ (Ones * '\r')))
      break;
  }
  for (; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\n' || c == '\r' || c == '\0') return i;
  }
  return std::string_view::npos;
}

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

TemplateReader::~TemplateReader() { close(); }

bool TemplateReader::open(const char* name) {
  close();
  // Without O_NONBLOCK, opening a FIFO waits for a writer.
  fd_ = ::open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  const bool known = fd_ >= 0 && fstat(fd_, &info) == 0;
  size_ = known && S_ISREG(info.st_mode) ? info.st_size : -1;
  fifo_ = known && S_ISFIFO(info.st_mode);
  buffer_.clear();
  start_ = scanned_ = 0;
  at_start_ = true;
  after_cr_ = false;
  return fd_ >= 0;
}

void TemplateReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  std::string().swap(buffer_);
  std::string().swap(repaired_);
  start_ = scanned_ = 0;
}

bool TemplateReader::fill() {
  blocked_ = false;
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  const size_t kept = buffer_.size();
  buffer_.resize(kept + ReadChunk);
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data() + kept, ReadChunk);
    if (got > 0) {
      buffer_.resize(kept + static_cast<size_t>(got));
      return true;
    }
    buffer_.resize(kept);
    if (got < 0 && errno == EINTR) {
      buffer_.resize(kept + ReadChunk);
      continue;
    }
    if (got < 0 && errno == EAGAIN) {
      blocked_ = true;
      return true;
    }
    // A FIFO reads as ended while no writer has come yet; it has ended only
    // once the system reports that a writer came and went.
    if (got == 0 && fifo_) {
      pollfd state{fd_, POLLIN, 0};
      if (poll(&state, 1, 0) == 0 || !(state.revents & POLLHUP)) {
        blocked_ = true;
        return true;
      }
    }
    return false;  // the end, or a read error, which counts as the end
  }
}

void TemplateReader::emit(std::string_view bytes, const TemplateNodeSink& add_node) {
  if (!runtime::is_well_formed_utf8(bytes)) {
    runtime::repair_utf8(bytes, repaired_);
    bytes = repaired_;
  }
  add_node(parse_template_line(bytes));
}

TemplateReader::Status TemplateReader::read(size_t max_lines, const TemplateNodeSink& add_node) {
  if (fd_ < 0) return Status::End;
  size_t lines = 0;
  while (lines < max_lines) {
    if (at_start_) {
      // Wait for three bytes (or the end) before deciding on a byte-order mark.
      if (buffer_.size() - start_ < runtime::Utf8Bom.size()) {
        const size_t before = buffer_.size();
        const bool more = fill();
        if (blocked_) return lines ? Status::More : Status::Blocked;
        if (more && buffer_.size() > before) continue;
      }
      at_start_ = false;
      if (std::string_view(buffer_).substr(start_, runtime::Utf8Bom.size()) == runtime::Utf8Bom)
        start_ += runtime::Utf8Bom.size();
    }
    const std::string_view unread = std::string_view(buffer_).substr(start_);
    if (after_cr_ && !unread.empty()) {
      after_cr_ = false;
      if (unread.front() == '\n') {
        ++start_;
        continue;
      }
    }
    const size_t end = find_line_end(unread, scanned_);
    if (end != std::string_view::npos) {
      emit(unread.substr(0, end), add_node);
      ++lines;
      after_cr_ = unread[end] == '\r';
      start_ += end + 1;
      scanned_ = 0;
      continue;
    }
    scanned_ = unread.size();
    // No terminator in the buffer: read more, or end with the last line.
    const bool more = fill();
    if (blocked_) return lines ? Status::More : Status::Blocked;
    if (more) continue;
    if (buffer_.size() > start_) {
      emit(std::string_view(buffer_).substr(start_), add_node);
      ++lines;
    }
    close();
    return Status::End;
  }
  return Status::More;
}

}  // namespace tree
