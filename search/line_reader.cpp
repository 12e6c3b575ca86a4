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

constexpr size_t ReadSize = size_t{256} << 10;

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

}  // namespace

ListReader::ListReader(const char* path) : fd_(::open(path, O_RDONLY | O_CLOEXEC)) {
  if (fd_ < 0) at_end_ = true;
}

ListReader::~ListReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool ListReader::read_more(ByteBuffer& bytes) {
  if (at_end_) return false;
  ssize_t got;
  do got = ::read(fd_, bytes.extend(ReadSize), ReadSize);
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
    while (bytes.size() - base < UTF8_BOM.size() && read_more(bytes)) {
    }
    if (std::string_view(bytes.data() + base, bytes.size() - base).starts_with(UTF8_BOM)) {
      // Not content: made into line ends, so that no term is found across it.
      memset(bytes.data() + base, '\n', UTF8_BOM.size());
      pos = line_start = base + UTF8_BOM.size();
    }
    first_ = false;
  }
  while (lines < max_lines && (lines == 0 || bytes.size() - base < max_bytes)) {
    if (skip_lf_) {
      if (!available()) break;
      if (bytes.data()[pos] == '\n') line_start = ++pos;
      skip_lf_ = false;
    }
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
  if (skip_lf_ && pos < bytes.size()) {
    if (bytes.data()[pos] == '\n') ++pos;
    skip_lf_ = false;
  }
  // Bytes read past the last line wait for the next call.
  carry_.append(bytes.data() + pos, bytes.size() - pos);
  bytes.shrink(pos);
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
