// The line rules of every text the programs read, over spans of bytes and
// with no input or output of its own: a line ends at LF, CR LF, a lone CR or
// a zero byte; the terminator is not part of the line; a final line without
// one still counts, and a final terminator adds no empty line. A UTF-8
// byte-order mark at the very start is skipped or kept, as the reader asks.
//
// A reader hands the scanner what it has read so far, always starting with
// the bytes the scanner left unconsumed the time before, and gets back the
// complete lines; the partial line at the end waits for the next fill. Bytes
// of such a partial line are looked through once, however many fills a long
// line takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace runtime {

enum class ByteOrderMark { Keep, Skip };

// Where the first LF, CR or zero byte lies in `bytes` at or after `from`;
// npos when there is none.
size_t find_line_end(std::string_view bytes, size_t from = 0);
// One bit for each LF, CR or zero byte among the 64 bytes at `p`, bit i
// for byte i.
uint64_t line_ends_in_64(const char* p);

class LineScanner {
 public:
  explicit LineScanner(ByteOrderMark mark) : skip_mark_(mark == ByteOrderMark::Skip) {}

  // Hands each complete line of `bytes` to `line(std::string_view)`, which
  // returns false to stop there, up to `max_lines` of them; `end` says that
  // no byte follows `bytes`, so that a final line without a terminator is
  // complete too. Returns how many bytes of `bytes` were consumed: the
  // caller keeps the rest and puts it first in the next call.
  template <typename Sink>
  size_t scan(std::string_view bytes, bool end, size_t max_lines, Sink&& line);

  // After a line that ended at a CR that was the last byte so far: the
  // caller that must settle at once whether an LF follows (a reader asked
  // whether it is at the end) passes the byte that follows, and learns
  // whether it belongs to that CR.
  bool pending_cr() const { return after_cr_; }
  bool takes_as_cr_lf(char next) {
    after_cr_ = false;
    return next == '\n';
  }
  // The caller took the unconsumed bytes itself (as part of a line it
  // collects): the next call starts on new bytes.
  void tail_taken() { clear_ = 0; }

 private:
  bool skip_mark_;
  bool at_start_ = true;   // nothing consumed yet: a byte-order mark may come
  bool after_cr_ = false;  // the last line ended at a CR: an LF next is its
  size_t clear_ = 0;       // leading unconsumed bytes known to hold no end
};

template <typename Sink>
size_t LineScanner::scan(std::string_view bytes, bool end, size_t max_lines, Sink&& line) {
  size_t pos = 0;
  if (at_start_) {
    constexpr std::string_view Mark = "\xEF\xBB\xBF";
    if (skip_mark_) {
      // Too few bytes yet to tell a mark from a line that starts like one.
      if (!end && bytes.size() < Mark.size() && Mark.starts_with(bytes)) return 0;
      if (bytes.starts_with(Mark)) pos = Mark.size();
    }
    at_start_ = false;
  }
  if (after_cr_) {
    if (pos == bytes.size() && !end) return pos;
    if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    after_cr_ = false;
  }
  size_t from = pos + clear_;
  clear_ = 0;
  // Short lines are the rule: the ends among 64 bytes are found in one step
  // and handed out one by one, where a search for each line's end on its own
  // would cost more than everything else a reader does with the line.
  size_t window = std::string_view::npos;  // the ends of [window, window + 64) are in `ends`
  uint64_t ends = 0;
  const auto next_end = [&](size_t at) {
    for (;;) {
      if (window != std::string_view::npos && at < window + 64) {
        if (const uint64_t ahead = ends & (~uint64_t{0} << (at - window)))
          return window + static_cast<size_t>(__builtin_ctzll(ahead));
        at = window + 64;
      }
      if (at > bytes.size() || bytes.size() - at < 64) return find_line_end(bytes, at);
      window = at;
      ends = line_ends_in_64(bytes.data() + at);
    }
  };
  for (size_t lines = 0; lines < max_lines;) {
    const size_t stop = next_end(from);
    if (stop == std::string_view::npos) {
      if (end && pos < bytes.size()) {
        line(bytes.substr(pos));
        pos = bytes.size();
      } else {
        clear_ = bytes.size() - pos;
      }
      break;
    }
    const bool more = line(bytes.substr(pos, stop - pos));
    ++lines;
    pos = from = stop + 1;
    if (bytes[stop] == '\r') {
      if (pos < bytes.size()) {
        if (bytes[pos] == '\n') from = ++pos;
      } else if (!end) {
        after_cr_ = true;
      }
    }
    if (!more) break;
  }
  return pos;
}

}  // namespace runtime
