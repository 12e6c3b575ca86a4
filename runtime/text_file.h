// Numbered, buffered text files shared by both programs.
//
// Every file lives in the file library's registry under the number the
// caller chose (or an automatic one for -1). Reading and writing go through
// one 4096-byte buffer per file; the file switches between reading and
// writing as the calls demand, and bytes written after some bytes were read
// land right after the last byte read.
//
// Failures show only in results: 0 from opens, the empty string from reads,
// -1 from file_length; an operation on a number that holds no file does
// nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace runtime {

inline constexpr int32_t FileBufferSize = 4096;

// Encoding codes of reading and writing; any other code means one byte per
// character (U+0000 to U+00FF).
enum class TextEncoding : int32_t { bytes = 0, utf8 = 2, utf16 = 9 };

// Creates (or re-creates, closing every open file) the file registry.
void init_files();

// Opens an existing file for reading. Non-zero on success: for number -1 the
// automatic number that names the file from then on.
int open_read(int number, std::u16string_view name);
// Not called by the programs (the search writes its own output); kept, with
// the writing operations below, as the runtime's tested interface.
// Opens for reading and writing ("r+"), creating the file when that fails.
int open_read_write(int number, std::u16string_view name);

// The next line without its terminator (LF, CR LF, lone CR or a zero byte);
// the empty string at the end of the file or for a number without a file.
// The programs read raw bytes (read_line_bytes); kept as tested interface.
std::u16string read_line(int number, TextEncoding encoding = TextEncoding::utf8);
// The next line's raw bytes, undecoded, appended to `out`; the same line
// rules as read_line. Returns false when the number holds no file.
bool read_line_bytes(int number, std::string& out);
// Skips a UTF-8 byte-order mark when it stands at the very start of a file
// opened for reading and nothing has been read yet; true when one was
// skipped.
bool skip_utf8_bom(int number);
// 1 when no byte is left to read, else 0 (also for a number without a file).
int at_eof(int number);

// Writes out pending bytes and closes the file. Returns 0, or the system's
// error number of the first write, flush or close that failed on this file.
int close_file(int number);
void close_all_files();

// The writing side, not called by the programs; kept as tested interface.
// Length in bytes after writing out pending bytes; -1 without a file.
int64_t file_length(int number);
// Sets the position in bytes from the start of the file.
void seek_file(int number, int64_t position);
// Writes the text (no terminator, no line end) in the encoding; returns the
// number of bytes handed to the file.
int64_t write_string(int number, std::u16string_view text,
                     TextEncoding encoding = TextEncoding::utf8);
// Takes an exclusive advisory lock on the whole file, waiting for other
// holders; it lasts until the file is closed. False when it cannot be taken.
bool lock_file(int number);

}  // namespace runtime
