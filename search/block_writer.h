// The writing side of a search: appends one block to the output file so that
// the file only ever holds whole blocks.
//
// The file is opened or created in one step that never truncates it (when it
// may not be opened for reading and writing, as an append-only or write-only
// file, it is opened for appending, as a shell's >> does), then locked
// exclusively, so that runs appending at once never interleave. A non-empty
// file that does not end in "\n" gets one first, so the block starts on a
// line of its own. Whatever stops the append once it has begun - a failed
// write or close, a file-size limit, SIGTERM, SIGINT or SIGHUP - the file is
// cut back to the length it had before, still under the lock.
#pragma once

#include <sys/types.h>

#include <string>

#include "output_block.h"

namespace search {

struct AppendResult {
  enum Kind { Appended, Failed, Stopped } kind = Appended;
  std::string reason;  // why it failed or stopped, and what was left behind
  int signal = 0;      // the signal that stopped it
};

// The system's write, or a stand-in for tests.
using WriteCall = ssize_t (*)(int fd, const void* bytes, size_t count);

// Appends the block to the file at `path`. While it writes, SIGTERM, SIGINT
// and SIGHUP are held back and looked for after every write; when one came,
// the result is Stopped and the signal is still held back: the caller ends
// the process with end_by_signal once it has said why.
AppendResult append_block(const char* path, const OutputBlock& block, WriteCall write_call = nullptr);

// Ends the process by the signal, with its default action.
[[noreturn]] void end_by_signal(int signal);

}  // namespace search
