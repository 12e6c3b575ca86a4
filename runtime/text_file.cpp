#include "runtime/text_file.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "runtime/line_scanner.h"
#include "runtime/object_registry.h"
#include "runtime/owned.h"
#include "runtime/utf8.h"

namespace runtime {

namespace {

struct TextFile {
  Owned<FILE, fclose> stream;
  std::unique_ptr<uint8_t[]> buffer;
  int32_t buffer_size = 0;
  // Reading: unread bytes, the last `count` of the `fill` loaded ones.
  // Writing: free space left; the pending bytes are buffer[0, size - count).
  int32_t count = 0;
  int32_t fill = 0;
  bool reading = true;
  int error = 0;  // first failed write, flush or close

  bool live() const { return stream != nullptr; }
  const uint8_t* next_byte() const { return buffer.get() + (fill - count); }
  void note_error() {
    if (!error) error = errno ? errno : EIO;
  }
};

// The file library's start-up record.
std::optional<ObjectRegistry<TextFile>>& file_registry() {
  static std::optional<ObjectRegistry<TextFile>> registry;
  return registry;
}

TextFile* find_file(int number) {
  auto& files = file_registry();
  return files ? files->find(number) : nullptr;
}

void write_out(TextFile& file) {
  if (file.reading) return;
  const size_t pending = static_cast<size_t>(file.buffer_size - file.count);
  if (pending && fwrite(file.buffer.get(), 1, pending, file.stream.get()) != pending) file.note_error();
  file.count = file.buffer_size;
}

// Makes at least n unread bytes available when the file still has them.
// Unread bytes are moved to the front before refilling, so a look-ahead never
// needs to step back in front of the buffer.
bool ensure_unread(TextFile& file, int32_t n) {
  if (!file.reading) {
    write_out(file);
    // The stream must be positioned between a write and a read.
    fseeko(file.stream.get(), 0, SEEK_CUR);
    file.reading = true;
    file.count = file.fill = 0;
  }
  if (file.count >= n) return true;
  uint8_t* buffer = file.buffer.get();
  memmove(buffer, file.next_byte(), static_cast<size_t>(file.count));
  const size_t got = fread(buffer + file.count, 1, static_cast<size_t>(file.buffer_size - file.count),
                           file.stream.get());
  // A read error counts as the end of the file.
  file.fill = file.count + static_cast<int32_t>(got);
  file.count = file.fill;
  return file.count >= n;
}

int64_t buffered_write(TextFile& file, const uint8_t* data, size_t n) {
  if (file.reading) {
    // Writing starts where the program has read to, not after the read-ahead.
    fseeko(file.stream.get(), -static_cast<off_t>(file.count), SEEK_CUR);
    file.reading = false;
    file.count = file.buffer_size;
  }
  if (static_cast<size_t>(file.count) > n) {
    memcpy(file.buffer.get() + (file.buffer_size - file.count), data, n);
    file.count -= static_cast<int32_t>(n);
    return static_cast<int64_t>(n);
  }
  write_out(file);
  if (n < static_cast<size_t>(file.buffer_size)) {
    memcpy(file.buffer.get(), data, n);
    file.count -= static_cast<int32_t>(n);
    return static_cast<int64_t>(n);
  }
  const size_t written = fwrite(data, 1, n, file.stream.get());
  if (written != n) file.note_error();
  return static_cast<int64_t>(written);
}

// Collects one line's bytes up to its terminator, which is consumed. A CR
// takes a following LF with it at once, so that a file whose last line ends
// in CR LF is at its end right after that line.
void collect_line(TextFile& file, std::string& out) {
  LineScanner lines(ByteOrderMark::Keep);
  while (ensure_unread(file, 1)) {
    const std::string_view unread(reinterpret_cast<const char*>(file.next_byte()), static_cast<size_t>(file.count));
    bool ended = false;
    const size_t used = lines.scan(unread, false, 1, [&](std::string_view line) {
      out.append(line);
      return ended = true;
    });
    if (!ended) {
      // No end yet: what is there is part of the line.
      out.append(unread);
      file.count = 0;
      lines.tail_taken();
      continue;
    }
    file.count -= static_cast<int32_t>(used);
    if (lines.pending_cr() && ensure_unread(file, 1) && lines.takes_as_cr_lf(static_cast<char>(*file.next_byte())))
      file.count -= 1;
    return;
  }
}

char16_t take_unit(TextFile& file) {
  const uint8_t* p = file.next_byte();
  file.count -= 2;
  return static_cast<char16_t>(p[0] | (p[1] << 8));
}

std::u16string collect_utf16_line(TextFile& file) {
  std::u16string line;
  while (ensure_unread(file, 2)) {
    const char16_t unit = take_unit(file);
    if (unit == 0 || unit == u'\n') return line;
    if (unit == u'\r') {
      if (ensure_unread(file, 2) && file.next_byte()[0] == '\n' && file.next_byte()[1] == 0) file.count -= 2;
      return line;
    }
    line.push_back(unit);
  }
  // A single odd byte at the very end ends the line and is dropped.
  file.count = 0;
  return line;
}

int open_file(int number, std::u16string_view name, std::initializer_list<const char*> modes) {
  auto& files = file_registry();
  if (!files) init_files();
  const auto [id, file] = files->allocate(number);
  if (!file) return 0;
  const std::string path = encode_utf8(name);
  FILE* stream = nullptr;
  for (const char* mode : modes) {
    if ((stream = fopen64(path.c_str(), mode))) break;
  }
  if (!stream) {
    if (number == -1) files->release(id);
    return 0;
  }
  // Beneath the file's own 4096-byte buffer the stream reads and writes in
  // larger blocks, so that long lists cost few system calls.
  setvbuf(stream, nullptr, _IOFBF, 1 << 16);
  file->stream.reset(stream);
  file->buffer = std::make_unique<uint8_t[]>(FileBufferSize);
  file->buffer_size = FileBufferSize;
  file->count = file->fill = 0;
  file->reading = true;
  file->error = 0;
  return number == -1 ? id : 1;
}

}  // namespace

void init_files() {
  auto& files = file_registry();
  if (files) close_all_files();
  files.emplace(16, [](int number) { close_file(number); });
}

int open_read(int number, std::u16string_view name) { return open_file(number, name, {"r"}); }

int open_read_write(int number, std::u16string_view name) {
  return open_file(number, name, {"r+", "w+"});
}


bool read_line_bytes(int number, std::string& out) {
  TextFile* file = find_file(number);
  if (!file) return false;
  collect_line(*file, out);
  return true;
}

std::u16string read_line(int number, TextEncoding encoding) {
  TextFile* file = find_file(number);
  if (!file) return {};
  if (encoding == TextEncoding::utf16) return collect_utf16_line(*file);
  std::string bytes;
  collect_line(*file, bytes);
  if (encoding == TextEncoding::utf8) return decode_utf8(bytes);
  // One byte per character, of the same value.
  std::u16string text(bytes.size(), u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<uint8_t>(bytes[i]);
  return text;
}

bool skip_utf8_bom(int number) {
  TextFile* file = find_file(number);
  if (!file || !file->reading || file->fill != 0) return false;
  // A seek elsewhere rules the mark out; a pipe or a FIFO has no position
  // (-1) and is at its start as long as nothing has been read from it.
  if (ftello(file->stream.get()) > 0) return false;
  if (!ensure_unread(*file, 3) || memcmp(file->next_byte(), Utf8Bom.data(), 3) != 0) return false;
  file->count -= 3;
  return true;
}

int at_eof(int number) {
  TextFile* file = find_file(number);
  if (!file) return 0;
  return ensure_unread(*file, 1) ? 0 : 1;
}

int close_file(int number) {
  TextFile* file = find_file(number);
  if (!file) return 0;
  write_out(*file);
  if (fclose(file->stream.release()) != 0) file->note_error();
  const int error = file->error;
  file_registry()->release(number);
  return error;
}

void close_all_files() {
  if (auto& files = file_registry()) files->release_all();
}

int64_t file_length(int number) {
  TextFile* file = find_file(number);
  if (!file) return -1;
  write_out(*file);
  if (fflush(file->stream.get()) != 0) file->note_error();
  struct stat status;
  if (fstat(fileno(file->stream.get()), &status) != 0) return -1;
  return status.st_size;
}

void seek_file(int number, int64_t position) {
  TextFile* file = find_file(number);
  if (!file) return;
  write_out(*file);
  file->count = file->fill = 0;
  file->reading = true;
  // 64-bit positions: an output beyond 2 GiB is appended to at its true end.
  fseeko(file->stream.get(), position, SEEK_SET);
}

int64_t write_string(int number, std::u16string_view text, TextEncoding encoding) {
  TextFile* file = find_file(number);
  if (!file) return 0;
  text = text.substr(0, text.find(u'\0'));
  if (text.empty()) return 0;
  if (encoding == TextEncoding::utf8) {
    int64_t written = 0;
    encode_utf8_pieces(text, [&](const char* bytes, size_t count) {
      written += buffered_write(*file, reinterpret_cast<const uint8_t*>(bytes), count);
    });
    return written;
  }
  std::string bytes;
  if (encoding == TextEncoding::utf16) {
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
  } else {
    for (char16_t unit : text)
      if (unit <= 0xFF) bytes.push_back(static_cast<char>(unit));
  }
  if (bytes.empty()) return 0;
  return buffered_write(*file, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool lock_file(int number) {
  TextFile* file = find_file(number);
  if (!file) return false;
  int result;
  do result = flock(fileno(file->stream.get()), LOCK_EX);
  while (result != 0 && errno == EINTR);
  return result == 0;
}

}  // namespace runtime
