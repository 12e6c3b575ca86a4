// String functions over the system's 16-bit strings. Every function returns
// a new string and leaves its arguments alone; an empty view stands for a
// null string. Counts and indexes are signed 32-bit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace runtime {

// Only parse_int is called by the programs; the others stay as the
// runtime's tested interface.
int32_t string_length(std::u16string_view text);
std::u16string string_left(std::u16string_view text, int32_t count);
std::u16string string_right(std::u16string_view text, int32_t count);
// The index-th field (from 1) of text split at the first unit of delimiter.
std::u16string string_field(std::u16string_view text, int32_t index,
                            std::u16string_view delimiter);
// Value of the number at the start of text: blanks and tabs, one optional
// sign, then decimal digits, "$" and hex digits or "%" and binary digits.
// Accumulates in 64-bit arithmetic that wraps; no digits gives 0.
int64_t parse_int(std::u16string_view text);
bool strings_equal(std::u16string_view a, std::u16string_view b);

}  // namespace runtime
