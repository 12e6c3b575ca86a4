// The line rules of every text the programs read, written out plainly, byte
// by byte, for the tests and fuzz targets to hold the readers against: a line
// ends at LF, CR LF, a lone CR or a zero byte; the end is not part of the
// line; a final line without an end still counts, and a final end adds no
// empty line. A UTF-8 byte-order mark at the very start is skipped or kept,
// as the reader asks; anywhere else it is content.
//
// Nothing here is fast or clever, so that it stays easy to check by eye
// against the rules above.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace test_support {

enum class StartMark { Keep, Skip };

std::vector<std::string> reference_lines(std::string_view bytes, StartMark mark);

}  // namespace test_support
