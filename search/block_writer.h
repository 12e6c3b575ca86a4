// The writing side of a search: appends one block to the output file so that
// the file only ever holds whole blocks, and its result says what the file
// holds.
//
// The file is opened or created in one step that never truncates it, for
// appending (for reading too where it may be read), then locked exclusively,
// so that runs appending at once never interleave; a file that the path no
// longer names once the lock is held (renamed or removed meanwhile) is let go
// and the path opened anew. A non-empty file that does not end in "\n" gets
// one first, so the block starts on a line of its own. Whatever stops the
// append once it has begun - a failed write or close, a file-size limit, a
// signal - cuts back what this run wrote, and only that, still under the
// lock; when bytes of another program follow or come between them, what
// cannot be cut back exactly is left and the reason says so. A file that
// the run created and that is still empty when the append fails is removed
// again, so that "left as it was" holds for a file that did not exist.
#pragma once

#include <sys/types.h>

#include <string>

#include "search/output_block.h"

namespace search {

struct AppendResult {
  enum class Kind { Appended, Failed, Stopped } kind = Kind::Appended;
  std::string reason;  // why it failed or stopped, and what was left behind
  int signal = 0;      // the signal that stopped it
};

// The system's write, or a stand-in for tests.
using WriteCall = ssize_t (*)(int fd, const void* bytes, size_t count);

// Appends the block to the file at `path`.
//
// The stopping signals are every signal that ends the process by default and
// can be caught, less those ignored when the append starts (they stay
// ignored: a run under nohup goes on through SIGHUP). From the first write
// on they are held back and looked for after every write; once the append
// has begun they stay held back whatever the result, so that the process can
// end with a status that tells what the file holds: Appended, the block is
// whole in the file; Failed, the file holds none of it unless the reason says
// what is left; Stopped, the same, and the caller ends the process with
// end_by_signal once it has said why.
AppendResult append_block(const char* path, const OutputBlock& block, WriteCall write_call = nullptr);

// Ends the process by the signal, with its default action.
[[noreturn]] void end_by_signal(int signal);

}  // namespace search
