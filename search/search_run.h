// The search program: reads the tree name, the terms and the parallel folder
// and file lists from the current folder, and appends the tree name and every
// matching folder\file pair to "searchOutputList.txt".
#pragma once

#include <string>
#include <vector>

#include "search/line_reader.h"
#include "search/output_block.h"

namespace search {

// Adds to `block` one line (folder, "\", file) for every pair in which the
// folder or the file matches a term, in the order of the folder list. The
// pairs are read on a thread of their own beside the matching. The terms
// are taken: the matcher folds them in place.
void collect_matches(std::vector<std::string> terms, PairReader& pairs, OutputBlock& block);

// The whole run. Returns the exit status: 0 when the block is whole in the
// output, or 1 when the run could not append it (one line on standard error
// says why, and what of it is left). Stopped by a signal while appending, it
// ends by that signal once its bytes are cut back.
int run_search();

}  // namespace search
