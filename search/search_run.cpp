#include "search_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "term_matching.h"
#include "text_file.h"
#include "utf8.h"

namespace {

constexpr char16_t TreeNameFile[] = u"searchTreeName.txt";
constexpr char16_t TermsFile[] = u"searchTermsList.txt";
constexpr char16_t FoldersFile[] = u"foldersScratch.txt";
constexpr char16_t FilesFile[] = u"filesScratch.txt";
constexpr char16_t OutputFile[] = u"searchOutputList.txt";

// Numbers (from 1) of the matching pairs among first .. last.
std::vector<uint32_t> matching_pairs(const TermMatcher& matcher, const LineList& folders,
                                     const LineList& files, size_t first, size_t last) {
  std::vector<uint32_t> found;
  std::u16string folder, file;
  std::string_view previous_folder;
  bool folder_hit = false;
  for (size_t n = first; n <= last; ++n) {
    // Neighbouring pairs mostly share their folder: its verdict carries over.
    const std::string_view folder_bytes = folders.entry(n);
    if (n == first || folder_bytes != previous_folder) {
      decode_utf8(folder_bytes, folder);
      normalise_in_place(folder);
      folder_hit = matcher.any_match(folder);
      previous_folder = folder_bytes;
    }
    bool hit = folder_hit;
    if (!hit) {
      decode_utf8(files.entry(n), file);
      normalise_in_place(file);
      hit = matcher.any_match(file);
    }
    if (hit) found.push_back(static_cast<uint32_t>(n));
  }
  return found;
}

void report_lost_output(int error) {
  std::fprintf(stderr, "treesearch: cannot write %s: %s\n", "searchOutputList.txt", std::strerror(error));
}

}  // namespace

MatchList collect_matches(const std::vector<std::u16string>& terms, const LineList& folders,
                          const LineList& files) {
  const TermMatcher matcher(terms);
  const size_t pairs = folders.size();
  // The pairs are independent: the two halves are matched side by side and
  // their results joined in order.
  std::vector<uint32_t> first_half, second_half;
  const size_t middle = pairs / 2;
  if (pairs >= 4096 && std::thread::hardware_concurrency() > 1) {
    std::thread helper([&] { second_half = matching_pairs(matcher, folders, files, middle + 1, pairs); });
    first_half = matching_pairs(matcher, folders, files, 1, middle);
    helper.join();
  } else {
    first_half = matching_pairs(matcher, folders, files, 1, pairs);
  }
  MatchList matches = list_create();
  for (const auto* half : {&first_half, &second_half}) {
    for (uint32_t n : *half) {
      MatchElement* element = list_insert(matches);
      element->path = decode_utf8(folders.entry(n));
      element->path += u'\\';
      element->path += decode_utf8(files.entry(n));
    }
  }
  return matches;
}

int run_search() {
  init_files();

  std::u16string tree_name;
  if (open_read(0, TreeNameFile)) {
    tree_name = read_line(0);
    close_file(0);
  }
  std::vector<std::u16string> terms;
  {
    const LineList term_lines = LineList::read(0, TermsFile);
    for (size_t t = 1; t <= term_lines.size(); ++t) terms.push_back(decode_utf8(term_lines.entry(t)));
  }
  const LineList folders = LineList::read(0, FoldersFile);
  const LineList files = LineList::read(0, FilesFile);

  MatchList matches = collect_matches(terms, folders, files);

  int status = 0;
  if (!open_read_write(1, OutputFile)) {
    report_lost_output(errno);
    return 1;
  }
  // Runs appending to the same output at once must not interleave or
  // overwrite each other's blocks: finding the end and writing the block
  // happen under one exclusive lock, released when the file is closed.
  lock_file(1);
  seek_file(1, file_length(1));
  // Each line end is written on its own, so a text that cannot be encoded
  // in full never takes its line end with it.
  write_string(1, tree_name, TextEncoding::utf8);
  write_string(1, u"\n", TextEncoding::utf8);
  for (int32_t k = 0; k < matches.count; ++k) {
    write_string(1, list_move_to(matches, k)->path, TextEncoding::utf8);
    write_string(1, u"\n", TextEncoding::utf8);
  }
  if (const int error = close_file(1)) {
    report_lost_output(error);
    status = 1;
  }
  close_all_files();
  return status;
}
