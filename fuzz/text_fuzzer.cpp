// Fuzzes the line reader and both UTF-8 conversions.
//
// Properties checked on every input:
// - reading the input as a file, one byte per character, gives the lines
//   the plain line rules give, byte-order mark kept;
// - the same in UTF-8 and UTF-16 reading never crashes and ends;
// - well-formed UTF-8 survives decode then encode unchanged;
// - well-formed UTF-16 (the input read as units) survives encode then decode.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/text_file.h"
#include "runtime/utf8.h"
#include "tests/support/reference_lines.h"

namespace {

bool well_formed_utf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<uint8_t>(s[i]);
    size_t n;
    uint32_t cp;
    if (b == 0) return false;  // a zero byte ends a line, it is never inside one
    if (b < 0x80) n = 0, cp = b;
    else if (b >= 0xC2 && b < 0xE0) n = 1, cp = b & 0x1F;
    else if (b >= 0xE0 && b < 0xF0) n = 2, cp = b & 0x0F;
    else if (b >= 0xF0 && b < 0xF5) n = 3, cp = b & 0x07;
    else return false;
    if (i + n >= s.size() + (n ? 0 : 1)) return false;
    for (size_t k = 1; k <= n; ++k) {
      const auto c = static_cast<uint8_t>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

bool well_formed_utf16(const std::u16string& u) {
  for (size_t i = 0; i < u.size(); ++i) {
    if (u[i] == 0) return false;
    if ((u[i] & 0xFC00) == 0xDC00) return false;
    if ((u[i] & 0xFC00) == 0xD800) {
      if (i + 1 >= u.size() || (u[i + 1] & 0xFC00) != 0xDC00) return false;
      ++i;
    }
  }
  return true;
}

void check(bool condition) {
  if (!condition) abort();
}

std::u16string fd_path(int fd) {
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  return {path.begin(), path.end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = [] {
    runtime::init_files();
    return memfd_create("fuzz-input", 0);
  }();
  const std::string input(reinterpret_cast<const char*>(data), size);

  check(ftruncate(fd, 0) == 0);
  check(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));

  std::vector<std::string> lines;
  check(runtime::open_read(0, fd_path(fd)) != 0);
  while (!runtime::at_eof(0)) {
    check(lines.size() <= size);
    std::string& line = lines.emplace_back();
    for (char16_t c : runtime::read_line(0, runtime::TextEncoding::bytes)) {
      check(c <= 0xFF);
      line.push_back(static_cast<char>(c));
    }
  }
  check(lines == test_support::reference_lines(input, test_support::StartMark::Keep));

  for (runtime::TextEncoding encoding : {runtime::TextEncoding::utf8, runtime::TextEncoding::utf16}) {
    check(runtime::open_read(0, fd_path(fd)) != 0);
    for (size_t lines = 0; !runtime::at_eof(0); ++lines) {
      check(lines <= size);
      runtime::read_line(0, encoding);
    }
  }
  runtime::close_file(0);

  const std::u16string decoded = runtime::decode_utf8(input);
  // The strict check agrees with the independent one above (which also
  // refuses a zero byte); repairing yields well-formed text, keeps
  // well-formed text as it is, and decodes as the replacing decoder does.
  if (input.find('\0') == std::string::npos) check(runtime::is_well_formed_utf8(input) == well_formed_utf8(input));
  const std::string repaired = runtime::repair_utf8(input);
  check(runtime::is_well_formed_utf8(repaired));
  if (runtime::is_well_formed_utf8(input)) check(repaired == input);
  std::u16string replaced, replaced_again;
  runtime::decode_utf8_replacing(input, replaced);
  runtime::decode_utf8_replacing(repaired, replaced_again);
  check(replaced == replaced_again);
  if (well_formed_utf8(input)) check(runtime::encode_utf8(decoded) == input);

  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  const std::string encoded = runtime::encode_utf8(units);
  check(encoded.size() == runtime::encode_utf8_length(units));
  if (well_formed_utf16(units)) check(runtime::decode_utf8(encoded) == units);
  return 0;
}
