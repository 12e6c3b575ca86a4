// The search program: reads the tree name, the terms and the parallel folder
// and file lists from the current folder, and appends the tree name and every
// matching folder\file pair to "searchOutputList.txt".
#pragma once

#include <string>
#include <vector>

#include "match_list.h"
#include "pair_reader.h"

// Adds to `matches` the paths (folder, "\", file) of every pair in which
// the folder or the file matches a term, in the order of the folder list.
void collect_matches(const std::vector<std::u16string>& terms, PairReader& pairs, MatchList& matches);

// The whole run. Returns the exit status: 0, or 1 when the output could not
// be written (a message on standard error says why).
int run_search();
