// Hands batches from a producing thread to a consuming one, in order, and the
// used ones back for refilling, so that their memory is allocated only once
// and at most `InFlight` batches ever exist.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace search {

template <typename Batch, size_t InFlight = 4>
class BatchQueue {
 public:
  // A batch to fill: a used one when there is one, else a new one while fewer
  // than InFlight exist; otherwise waits for one to come back. Nothing once
  // the consumer has stopped.
  std::optional<Batch> take_empty() {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return stopped_ || !used_.empty() || made_ < InFlight; });
    if (stopped_) return std::nullopt;
    if (used_.empty()) {
      ++made_;
      return Batch();
    }
    Batch batch = std::move(used_.back());
    used_.pop_back();
    return batch;
  }
  void push(Batch batch) {
    std::lock_guard lock(mutex_);
    full_.push_back(std::move(batch));
    ready_.notify_one();
  }
  // The producer has no more batches.
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    ready_.notify_one();
  }
  // The next full batch; nothing after close once all are taken.
  std::optional<Batch> pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return !full_.empty() || closed_; });
    if (full_.empty()) return std::nullopt;
    Batch batch = std::move(full_.front());
    full_.pop_front();
    return batch;
  }
  void give_back(Batch batch) {
    std::lock_guard lock(mutex_);
    used_.push_back(std::move(batch));
    room_.notify_one();
  }
  // The consumer takes no more batches: the producer stops at its next take.
  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    room_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<Batch> full_;
  std::vector<Batch> used_;
  size_t made_ = 0;
  bool closed_ = false, stopped_ = false;
};

}  // namespace search
