#include "search/line_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <string>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "runtime/utf8.h"

namespace search {

namespace {

constexpr size_t ReadSize = size_t{64} << 10;

bool is_terminator(char byte) { return byte == '\n' || byte == '\r' || byte == '\0'; }

// The first LF, CR or zero byte in [p, end), or end; `high` gathers the bits
// of the bytes passed over, so that bytes of 0x80 and above show.
const char* find_terminator(const char* p, const char* end, unsigned& high) {
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                     _mm_cmpeq_epi8(v, zero));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    const unsigned highs = static_cast<unsigned>(_mm_movemask_epi8(v));
    if (mask) {
      const unsigned at = static_cast<unsigned>(__builtin_ctz(mask));
      high |= highs & ((1u << at) - 1);
      return p + at;
    }
    high |= highs;
    p += 16;
  }
#endif
  while (p < end && !is_terminator(*p)) high |= static_cast<unsigned char>(*p++) & 0x80;
  return p;
}

#ifdef __SSE2__
// One bit per terminator among the 64 bytes at p; `high` gathers the bits of
// bytes of 0x80 and above.
uint64_t terminators64(const char* p, uint64_t& high) {
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
  uint64_t mask = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                     _mm_cmpeq_epi8(v, zero));
    mask |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hit))) << (16 * k);
    high |= static_cast<unsigned>(_mm_movemask_epi8(v));
  }
  return mask;
}
#endif

}  // namespace

void check_unopened_input(const char* path, int error) {
  switch (error) {
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case ENOBUFS:
    case EAGAIN:
      throw InputUnavailable{std::string("cannot open ") + path + ": " + std::strerror(error)};
    default:
      return;
  }
}

ListReader::ListReader(const char* path) : fd_(::open(path, O_RDONLY | O_CLOEXEC)) {
  if (!fd_.valid()) {
    check_unopened_input(path, errno);
    at_end_ = true;
  }
}

bool ListReader::read_more(ByteBuffer& bytes) {
  if (at_end_) return false;
  ssize_t got;
  do got = ::read(fd_.get(), bytes.extend(ReadSize), ReadSize);
  while (got < 0 && errno == EINTR);
  if (got <= 0) {
    at_end_ = true;
    return false;
  }
  bytes.commit(static_cast<size_t>(got));
  return true;
}

size_t ListReader::read_lines(LineBlock& block, size_t max_lines, size_t max_bytes) {
  ByteBuffer& bytes = block.bytes;
  const size_t base = bytes.size();
  bytes.append(carry_.view());
  carry_.clear();
  size_t line_start = base, pos = base, lines = 0;
  unsigned high = 0;
  auto available = [&] { return pos < bytes.size() || read_more(bytes); };
  if (first_) {
    // Enough bytes to see a byte-order mark, or the whole of a shorter file.
    while (bytes.size() - base < runtime::Utf8Bom.size() && read_more(bytes)) {
    }
    if (std::string_view(bytes.data() + base, bytes.size() - base).starts_with(runtime::Utf8Bom)) {
      // Not content: made into line ends, so that no term is found across it.
      memset(bytes.data() + base, '\n', runtime::Utf8Bom.size());
      pos = line_start = base + runtime::Utf8Bom.size();
    }
    first_ = false;
  }
  while (lines < max_lines && (lines == 0 || bytes.size() - base < max_bytes)) {
    if (skip_lf_) {
      if (!available()) break;
      if (bytes.data()[pos] == '\n') line_start = ++pos;
      skip_lf_ = false;
    }
#ifdef __SSE2__
    // Short lines are the rule: 64 bytes are looked at in one step, and
    // each terminator among them ends a line.
    if (bytes.size() - pos >= 64) {
      const char* data = bytes.data();
      uint64_t high64 = 0;
      uint64_t mask = terminators64(data + pos, high64);
      high |= high64 != 0;
      const size_t window = pos;
      bool full = false;
      while (mask) {
        const size_t t = window + static_cast<size_t>(__builtin_ctzll(mask));
        mask &= mask - 1;
        block.starts.push_back(line_start);
        block.ends.push_back(t);
        ++lines;
        line_start = t + 1;
        if (data[t] == '\r') {
          if (t + 1 == bytes.size()) {
            skip_lf_ = true;
          } else if (data[t + 1] == '\n') {
            ++line_start;
            if (t + 1 - window < 64) mask &= ~(uint64_t{1} << (t + 1 - window));
          }
        }
        if (lines == max_lines || bytes.size() - base >= max_bytes) {
          full = true;
          break;
        }
      }
      pos = full ? line_start : std::max(window + 64, line_start);
      continue;
    }
#endif
    const char* data = bytes.data();
    const char* end = data + bytes.size();
    const char* p = find_terminator(data + pos, end, high);
    pos = static_cast<size_t>(p - data);
    if (p == end) {
      if (read_more(bytes)) continue;
      if (pos == line_start) break;  // nothing after the last terminator
      block.starts.push_back(line_start);
      block.ends.push_back(pos);
      ++lines;
      line_start = pos;
      break;
    }
    block.starts.push_back(line_start);
    block.ends.push_back(pos);
    ++lines;
    skip_lf_ = *p == '\r';
    line_start = ++pos;
  }
  if (skip_lf_ && line_start < bytes.size()) {
    if (bytes.data()[line_start] == '\n') ++line_start;
    skip_lf_ = false;
  }
  // Bytes read past the last line (some perhaps looked at already) wait for
  // the next call.
  carry_.append(bytes.data() + line_start, bytes.size() - line_start);
  bytes.shrink(line_start);
  if (high) block.ascii = false;
  return lines;
}

PairReader::PairReader(const char* folders, const char* files) : folders_(folders), files_(files) {}

bool PairReader::read_batch(PairBatch& batch) {
  batch.clear();
  const size_t pairs = folders_.read_lines(batch.folders, BatchPairs, BatchBytes);
  size_t files = files_left_ ? files_.read_lines(batch.files, pairs) : 0;
  if (files < pairs) files_left_ = false;
  for (; files < pairs; ++files) batch.files.add("");
  return pairs > 0;
}

}  // namespace search
