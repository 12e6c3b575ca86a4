#include "search/output_block.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "runtime/large_memory.h"

namespace search {

namespace {

[[noreturn]] void fail_spilling(int error) {
  throw std::system_error(error, std::generic_category(), "cannot keep the block in a temporary file");
}

// An unlinked file in the folder, on the output's file system, so that the
// space it takes is space the output itself can have.
int open_unlinked(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // A file system without unnamed files: a named one, unlinked at once.
  std::string name = folder + "/.treesearch-XXXXXX";
  const int named = mkostemp(name.data(), O_CLOEXEC);
  if (named < 0) fail_spilling(errno);
  ::unlink(name.c_str());
  return named;
}

}  // namespace

OutputBlock::OutputBlock(std::string folder, size_t memory_limit)
    : folder_(std::move(folder)), memory_limit_(std::max(memory_limit, PieceSize)) {}

void OutputBlock::Piece::Free::operator()(char* bytes) const { runtime::free_large_block(bytes, capacity); }

void OutputBlock::add_piece(size_t at_least) {
  if (!folder_.empty() && pieces_.size() * PieceSize >= memory_limit_) spill();
  // A spilled block reuses the piece it kept.
  if (!pieces_.empty() && pieces_.back().used == 0 && pieces_.back().capacity >= at_least) return;
  const size_t capacity = std::max(PieceSize, at_least);
  pieces_.reserve(pieces_.size() + 1);
  char* bytes = static_cast<char*>(runtime::allocate_large_block(capacity));
  pieces_.push_back({std::unique_ptr<char, Piece::Free>(bytes, Piece::Free{capacity}), 0, capacity});
}

void OutputBlock::spill_bytes(std::string_view bytes) {
  if (!spill_.valid()) spill_.reset(open_unlinked(folder_));
  while (!bytes.empty()) {
    const ssize_t written = ::write(spill_.get(), bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) fail_spilling(written < 0 ? errno : EIO);
    bytes.remove_prefix(static_cast<size_t>(written));
    spilled_ += static_cast<size_t>(written);
  }
}

void OutputBlock::spill() {
  for (Piece& piece : pieces_) {
    spill_bytes({piece.bytes.get(), piece.used});
    piece.used = 0;
  }
  held_ = 0;
  // One piece of the usual size is kept for what comes next.
  const bool reuse = !pieces_.empty() && pieces_.front().capacity == PieceSize;
  pieces_.erase(pieces_.begin() + (reuse ? 1 : 0), pieces_.end());
}

void OutputBlock::append(std::string_view bytes) {
  if (!folder_.empty() && bytes.size() >= PieceSize) {
    // Too large to be worth holding: straight to the file, after what is
    // held.
    spill();
    spill_bytes(bytes);
    return;
  }
  while (!bytes.empty()) {
    if (pieces_.empty() || pieces_.back().used == pieces_.back().capacity)
      add_piece(bytes.size() >= PieceSize ? bytes.size() : 0);
    Piece& piece = pieces_.back();
    const size_t n = std::min(bytes.size(), piece.capacity - piece.used);
    memcpy(piece.bytes.get() + piece.used, bytes.data(), n);
    piece.used += n;
    held_ += n;
    bytes.remove_prefix(n);
  }
}

void OutputBlock::append_line(std::initializer_list<std::string_view> parts) {
  size_t length = 1;
  for (std::string_view part : parts) length += part.size();
  if (!pieces_.empty() && pieces_.back().capacity - pieces_.back().used >= length) {
    // The common case: the whole line fits in the current piece.
    Piece& piece = pieces_.back();
    char* to = piece.bytes.get() + piece.used;
    for (std::string_view part : parts) {
      memcpy(to, part.data(), part.size());
      to += part.size();
    }
    *to = '\n';
    piece.used += length;
    held_ += length;
    return;
  }
  for (std::string_view part : parts) append(part);
  append("\n");
}

std::vector<std::string_view> OutputBlock::pieces() const {
  std::vector<std::string_view> all;
  all.reserve(pieces_.size());
  for (const Piece& piece : pieces_)
    if (piece.used) all.emplace_back(piece.bytes.get(), piece.used);
  return all;
}

}  // namespace search
