// The search program: reads the tree name, the terms and the parallel folder
// and file lists from the current folder, and appends the tree name and every
// matching folder\file pair to "searchOutputList.txt".
#pragma once

#include <string>
#include <vector>

#include "line_reader.h"
#include "output_block.h"

namespace search {

// Adds to `block` one line (folder, "\", file) for every pair in which the
// folder or the file matches a term, in the order of the folder list. The
// pairs are read on a thread of their own beside the matching.
void collect_matches(const std::vector<std::string>& terms, PairReader& pairs, OutputBlock& block);

// The whole run. Returns the exit status: 0, or 1 when the run could not
// append its block (one line on standard error says why). Stopped by
// SIGTERM, SIGINT or SIGHUP while appending, it ends by that signal once the
// output is back as it was.
int run_search();

}  // namespace search
