#include "runtime/line_scanner.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace runtime {

size_t find_line_end(std::string_view bytes, size_t from) {
  const char* const begin = bytes.data();
  const char* p = begin + (from < bytes.size() ? from : bytes.size());
  const char* const end = begin + bytes.size();
#ifdef __SSE2__
  // Sixteen bytes at a time: lists and templates are mostly short lines,
  // and looking each byte up among the three ends by itself costs more than
  // everything else a reader does with a line.
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)), _mm_cmpeq_epi8(v, zero));
    if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)))
      return static_cast<size_t>(p - begin) + static_cast<unsigned>(__builtin_ctz(mask));
  }
#else
  // Eight bytes at a time: a word holds an end when one of its bytes is
  // zero after a comparison with each end.
  constexpr uint64_t Ones = 0x0101010101010101u, Highs = 0x8080808080808080u;
  const auto holds_zero = [](uint64_t word) { return (word - Ones) & ~word & Highs; };
  for (; end - p >= 8; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if (holds_zero(word) | holds_zero(word ^ (Ones * '\n')) | holds_zero(word ^ (Ones * '\r'))) break;
  }
#endif
  for (; p < end; ++p)
    if (*p == '\n' || *p == '\r' || *p == '\0') return static_cast<size_t>(p - begin);
  return std::string_view::npos;
}

uint64_t line_ends_in_64(const char* p) {
  uint64_t ends = 0;
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)), _mm_cmpeq_epi8(v, zero));
    ends |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hit))) << (16 * k);
  }
#else
  for (int i = 0; i < 64; ++i)
    if (p[i] == '\n' || p[i] == '\r' || p[i] == '\0') ends |= uint64_t{1} << i;
#endif
  return ends;
}

}  // namespace runtime
