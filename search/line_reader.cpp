#include "line_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "utf8.h"

namespace {

constexpr size_t ReadSize = size_t{1} << 20;

bool is_terminator(char byte) { return byte == '\n' || byte == '\r' || byte == '\0'; }

// The first LF, CR or zero byte in [p, end), or end.
const char* find_terminator(const char* p, const char* end) {
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                     _mm_cmpeq_epi8(v, zero));
    const int mask = _mm_movemask_epi8(hit);
    if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && !is_terminator(*p)) ++p;
  return p;
}

}  // namespace

ListReader::ListReader(const char* path)
    : fd_(::open(path, O_RDONLY | O_CLOEXEC)), buffer_(new char[ReadSize]) {
  if (fd_ < 0) {
    at_end_ = true;
    return;
  }
  // Enough bytes to see a byte-order mark, or the whole of a shorter file.
  while (end_ < UTF8_BOM.size() && fill()) {
  }
  if (std::string_view(buffer_.get(), end_).starts_with(UTF8_BOM)) begin_ = UTF8_BOM.size();
}

ListReader::~ListReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool ListReader::fill() {
  if (at_end_) return false;
  if (begin_ == end_) begin_ = end_ = 0;
  if (end_ == ReadSize) {  // unread bytes to the front
    memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  ssize_t got;
  do got = ::read(fd_, buffer_.get() + end_, ReadSize - end_);
  while (got < 0 && errno == EINTR);
  if (got <= 0) {
    at_end_ = true;
    return false;
  }
  end_ += static_cast<size_t>(got);
  return true;
}

bool ListReader::read_line(LineBlock& block) {
  if (begin_ == end_ && !fill()) return false;
  for (;;) {
    const char* start = buffer_.get() + begin_;
    const char* end = buffer_.get() + end_;
    const char* p = find_terminator(start, end);
    block.bytes.append(start, static_cast<size_t>(p - start));
    begin_ += static_cast<size_t>(p - start);
    if (p == end) {
      begin_ = end_ = 0;
      if (fill()) continue;
      break;  // a last line without a terminator
    }
    ++begin_;
    if (*p == '\r' && (begin_ < end_ || fill()) && buffer_[begin_] == '\n') ++begin_;
    break;
  }
  block.end_line();
  return true;
}

PairReader::PairReader(const char* folders, const char* files) : folders_(folders), files_(files) {}

bool PairReader::read_batch(PairBatch& batch) {
  batch.clear();
  while (batch.count() < BatchPairs && batch.folders.bytes.size() + batch.files.bytes.size() < BatchBytes) {
    if (!folders_.read_line(batch.folders)) break;
    if (!files_left_ || !(files_left_ = files_.read_line(batch.files))) batch.files.end_line();
  }
  return batch.count() > 0;
}
