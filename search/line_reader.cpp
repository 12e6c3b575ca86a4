#include "search/line_reader.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "runtime/utf8.h"

namespace search {

namespace {

constexpr size_t ReadSize = size_t{64} << 10;

// Whether no byte of [p, p + n) is 0x80 or above: eight at a time, as the
// lines of a batch are mostly plain ASCII and looked through once more here.
bool all_ascii(const char* p, size_t n) {
  constexpr uint64_t Highs = 0x8080808080808080u;
  uint64_t high = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    high |= word;
  }
  for (; i < n; ++i) high |= static_cast<unsigned char>(p[i]);
  return (high & Highs) == 0;
}

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

ListReader::ListReader(const char* path) : source_(runtime::Descriptor(::open(path, O_RDONLY | O_CLOEXEC))) {
  if (!source_.is_open()) {
    check_unopened_input(path, errno);
    at_end_ = true;
  }
}

bool ListReader::read_more(ByteBuffer& bytes) {
  if (at_end_) return false;
  // The descriptor blocks, so nothing but bytes or the end comes back.
  const runtime::ByteSource::Filled filled = source_.fill({bytes.extend(ReadSize), ReadSize});
  if (filled.status != runtime::ByteSource::Status::More) {
    at_end_ = true;
    source_.close();
    return false;
  }
  bytes.commit(filled.bytes);
  return true;
}

size_t ListReader::read_lines(LineBlock& block, size_t max_lines, size_t max_bytes) {
  ByteBuffer& bytes = block.bytes;
  const size_t base = bytes.size();
  bytes.append(carry_.view());
  carry_.clear();
  size_t consumed = base, lines = 0;
  const auto add = [&](std::string_view line) {
    const auto start = static_cast<size_t>(line.data() - bytes.data());
    block.starts.push_back(start);
    block.ends.push_back(start + line.size());
    ++lines;
    return bytes.size() - base < max_bytes;
  };
  for (;;) {
    consumed += lines_.scan({bytes.data() + consumed, bytes.size() - consumed}, at_end_, max_lines - lines, add);
    if (at_end_ || lines == max_lines || (lines > 0 && bytes.size() - base >= max_bytes)) break;
    read_more(bytes);
  }
  // The scanner skips a byte-order mark at the very start once it has read
  // enough to tell it from content, and consumes nothing before. The mark
  // is not content: made into line ends, so that a search over the whole
  // block finds no term across it.
  if (first_ && consumed > base) {
    if (std::string_view(bytes.data() + base, consumed - base).starts_with(runtime::Utf8Bom))
      std::memset(bytes.data() + base, '\n', runtime::Utf8Bom.size());
    first_ = false;
  }
  if (!all_ascii(bytes.data() + base, consumed - base)) block.ascii = false;
  // Bytes read past the last line (some perhaps looked through already)
  // wait for the next call.
  carry_.append(bytes.data() + consumed, bytes.size() - consumed);
  bytes.shrink(consumed);
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
