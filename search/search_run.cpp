#include "search_run.h"

#include <cerrno>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
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

void report_lost_output(int error) {
  std::fprintf(stderr, "treesearch: cannot write %s: %s\n", "searchOutputList.txt", std::strerror(error));
}

}  // namespace

namespace {

// A run of consecutive pairs, folder and file bytes of each, as read.
struct PairBatch {
  static constexpr size_t Pairs = 8192;
  std::string bytes;
  std::vector<size_t> ends;  // two per pair: folder end, file end
  size_t size() const { return ends.size() / 2; }
  std::string_view part(size_t i) const {
    const size_t start = i == 0 ? 0 : ends[i - 1];
    return std::string_view(bytes).substr(start, ends[i] - start);
  }
  std::string_view folder(size_t n) const { return part(2 * n); }
  std::string_view file(size_t n) const { return part(2 * n + 1); }
};

// Hands batches from the reading thread to the matching one, in order, and
// the used ones back for refilling, so that their memory is allocated once.
class BatchQueue {
 public:
  static constexpr size_t InFlight = 4;

  // A batch to fill: a used one when there is one, else a new one while
  // fewer than InFlight exist; otherwise waits for one to come back.
  PairBatch take_empty() {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return !used_.empty() || made_ < InFlight; });
    if (used_.empty()) {
      ++made_;
      return PairBatch();
    }
    PairBatch batch = std::move(used_.back());
    used_.pop_back();
    batch.bytes.clear();
    batch.ends.clear();
    return batch;
  }
  void push(PairBatch batch) {
    std::lock_guard lock(mutex_);
    full_.push_back(std::move(batch));
    ready_.notify_one();
  }
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    ready_.notify_one();
  }
  std::optional<PairBatch> pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !full_.empty() || closed_; });
    if (full_.empty()) return std::nullopt;
    PairBatch batch = std::move(full_.front());
    full_.pop_front();
    return batch;
  }
  void give_back(PairBatch batch) {
    std::lock_guard lock(mutex_);
    used_.push_back(std::move(batch));
    room_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<PairBatch> full_;
  std::vector<PairBatch> used_;
  size_t made_ = 0;
  bool closed_ = false;
};

void read_batches(PairReader& pairs, BatchQueue& queue) {
  bool more = true;
  while (more) {
    PairBatch batch = queue.take_empty();
    size_t folder_end;
    while (batch.size() < PairBatch::Pairs && (more = pairs.append_next(batch.bytes, folder_end))) {
      batch.ends.push_back(folder_end);
      batch.ends.push_back(batch.bytes.size());
    }
    if (batch.size()) queue.push(std::move(batch));
    else queue.give_back(std::move(batch));
  }
  queue.close();
}

}  // namespace

void collect_matches(const std::vector<std::u16string>& terms, PairReader& pairs, MatchList& matches) {
  const TermMatcher matcher(terms);
  // Reading and splitting lines runs on a thread of its own, beside the
  // matching; batches keep the pairs in their order.
  BatchQueue queue;
  std::thread reader([&] { read_batches(pairs, queue); });
  std::string previous_folder;
  std::u16string folder, file;
  bool folder_hit = false, first = true;
  while (std::optional<PairBatch> batch = queue.pop()) {
    for (size_t n = 0; n < batch->size(); ++n, first = false) {
      const std::string_view folder_bytes = batch->folder(n), file_bytes = batch->file(n);
      // Neighbouring pairs mostly share their folder: its verdict carries over.
      if (first || folder_bytes != previous_folder) {
        folder_hit = matcher.any_match_bytes(folder_bytes, folder);
        previous_folder = folder_bytes;
      }
      const bool hit = folder_hit || matcher.any_match_bytes(file_bytes, file);
      if (hit) {
        MatchElement* element = list_insert(matches);
        element->path.reserve(folder_bytes.size() + 1 + file_bytes.size());
        decode_utf8_append(folder_bytes, element->path);
        element->path += u'\\';
        decode_utf8_append(file_bytes, element->path);
      }
    }
    queue.give_back(std::move(*batch));
  }
  reader.join();
}

int run_search() {
  init_files();

  std::u16string tree_name;
  if (open_read(0, TreeNameFile)) {
    tree_name = read_line(0);
    close_file(0);
  }
  std::vector<std::u16string> terms;
  if (open_read(0, TermsFile)) {
    while (!at_eof(0)) terms.push_back(read_line(0));
    close_file(0);
  }
  // The two lists are read side by side, as files 0 and 2, so that neither
  // has to be held in memory.
  MatchList matches = list_create();
  {
    PairReader pairs(0, FoldersFile, 2, FilesFile);
    collect_matches(terms, pairs, matches);
  }

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
