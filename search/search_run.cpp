#include "search/search_run.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "search/batch_queue.h"
#include "search/block_writer.h"
#include "search/term_matcher.h"
#include "runtime/text_file.h"

namespace search {

namespace {

constexpr char TreeNameFile[] = "searchTreeName.txt";
constexpr char TermsFile[] = "searchTermsList.txt";
constexpr char FoldersFile[] = "foldersScratch.txt";
constexpr char FilesFile[] = "filesScratch.txt";
constexpr char OutputFile[] = "searchOutputList.txt";

std::u16string name16(const char* name) { return {name, name + std::char_traits<char>::length(name)}; }

// The lines of a small input file as bytes; none when it is missing or
// refuses to be opened (see check_unopened_input).
std::vector<std::string> read_lines(const char* name, size_t at_most = SIZE_MAX) {
  std::vector<std::string> lines;
  errno = 0;
  if (!runtime::open_read(0, name16(name))) {
    check_unopened_input(name, errno);
    return lines;
  }
  runtime::skip_utf8_bom(0);
  while (lines.size() < at_most && !runtime::at_eof(0)) runtime::read_line_bytes(0, lines.emplace_back());
  runtime::close_file(0);
  return lines;
}

// The folder of the file the output's name leads to (through any links):
// the block's temporary file goes there, on the file system that the block
// needs room on anyway.
std::string output_folder() {
  std::error_code error;
  const std::filesystem::path output = std::filesystem::canonical(OutputFile, error);
  return error ? "." : output.parent_path().string();
}

// One line on standard error, made without allocating: it may report that
// memory ran out.
template <typename... Parts>
void say(const Parts&... parts) noexcept {
  for (std::string_view part : {std::string_view("treesearch: "), std::string_view(parts)..., std::string_view("\n")})
    std::fwrite(part.data(), 1, part.size(), stderr);
}

}  // namespace

void collect_matches(std::vector<std::string> terms, PairReader& pairs, OutputBlock& block) {
  // Compiling many terms takes long: it is done only once there are pairs
  // to test.
  std::optional<TermMatcher> matcher;
  std::vector<uint8_t> folder_hits, pair_hits;
  auto match = [&](const PairBatch& batch) {
    if (!matcher) matcher.emplace(std::move(terms));
    matcher->mark_lines(batch.folders, folder_hits);
    // A file whose folder is hit is not searched.
    matcher->mark_lines(batch.files, pair_hits, &folder_hits);
    for (size_t n = 0; n < batch.count(); ++n)
      if (pair_hits[n]) block.append_line({batch.folders.line(n), "\\", batch.files.line(n)});
  };

  BatchQueue<PairBatch> queue;
  std::exception_ptr reader_failure;
  // However the matching ends, the reader stops and is waited for: leaving
  // this scope requests the thread's stop, which stops the queue the reader
  // may be waiting on, and joins it.
  std::jthread reader;
  try {
    reader = std::jthread([&](std::stop_token stop) {
      std::stop_callback stop_queue(stop, [&] { queue.stop(); });
      try {
        while (std::optional<PairBatch> batch = queue.take_empty()) {
          if (!pairs.read_batch(*batch)) break;
          queue.push(std::move(*batch));
        }
      } catch (...) {
        reader_failure = std::current_exception();
      }
      queue.close();
    });
  } catch (const std::system_error&) {
    // No thread to be had (a process limit, a small address space): the
    // pairs are read here, a batch at a time between the matching.
    PairBatch batch;
    while (pairs.read_batch(batch)) match(batch);
    return;
  }
  while (std::optional<PairBatch> batch = queue.pop()) {
    match(*batch);
    queue.give_back(std::move(*batch));
  }
  if (reader_failure) std::rethrow_exception(reader_failure);
}

int run_search() {
  // A file-size limit fails a write (EFBIG), to the temporary file of a
  // large block as to the output, instead of ending the process, so that the
  // run can say why and leave the output as it was. Held back rather than
  // ignored, SIGXFSZ keeps its disposition: sent while the block is
  // appended, it rolls the append back like any other stopping signal.
  sigset_t size_limit;
  sigemptyset(&size_limit);
  sigaddset(&size_limit, SIGXFSZ);
  pthread_sigmask(SIG_BLOCK, &size_limit, nullptr);
  int status = 0;
  try {
    runtime::init_files();
    // Beyond a bound the block waits in a temporary file beside the output.
    OutputBlock block(output_folder());
    const std::vector<std::string> name = read_lines(TreeNameFile, 1);
    block.append_line({name.empty() ? std::string_view() : std::string_view(name.front())});
    std::vector<std::string> terms = read_lines(TermsFile);
    {
      PairReader pairs(FoldersFile, FilesFile);
      collect_matches(std::move(terms), pairs, block);
    }
    const AppendResult result = append_block(OutputFile, block);
    if (result.kind != AppendResult::Kind::Appended) {
      say("cannot append to ", OutputFile, ": ", result.reason);
      if (result.kind == AppendResult::Kind::Stopped) end_by_signal(result.signal);
      status = 1;
    }
  } catch (const InputUnavailable& unavailable) {
    say(unavailable.message, "; ", OutputFile, " is left as it was");
    status = 1;
  } catch (const std::bad_alloc&) {
    say("out of memory; ", OutputFile, " is left as it was");
    status = 1;
  } catch (const std::exception& error) {
    say(error.what(), "; ", OutputFile, " is left as it was");
    status = 1;
  }
  runtime::close_all_files();
  return status;
}

}  // namespace search
