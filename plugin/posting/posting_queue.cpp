#include "plugin/posting/posting_queue.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "plugin/posting/posting_clients.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr std::chrono::milliseconds kShutdownDrain{10000};

// Runs one job; nothing it throws ends the thread.
void runJob(const PostingJob& job) noexcept {
  try {
    job();
  } catch (const std::bad_alloc&) {
    writeDiagnostic("error out of memory");
  } catch (const std::exception& failure) {
    try {
      writeDiagnostic(std::string("error ") + failure.what());
    } catch (...) {
      writeDiagnostic("error out of memory");
    }
  } catch (...) {
    writeDiagnostic("error unknown failure");
  }
}

struct ModuleQueue {
  std::mutex mutex;  // opening and closing
  std::unique_ptr<PostingQueue> owned;
  std::atomic<PostingQueue*> current{nullptr};  // read by every render event
  // A host that unloads the module without its shutdown leaves the queue
  // to the process's end: a static destructor must not join a thread or
  // touch libcurl (on Windows it would run under the loader lock).
  ~ModuleQueue() { (void)owned.release(); }
};

ModuleQueue& moduleQueue() {
  static ModuleQueue queue;
  return queue;
}

}  // namespace

PostingQueue::~PostingQueue() { close(std::chrono::milliseconds::zero()); }

std::uint64_t PostingQueue::submit(PostingJob job, QueueKeep keep) {
  PostingJob dropped;  // freed after the lock
  std::unique_lock<std::mutex> lock(mutex_);
  if (closing_) return 0;
  if (!thread_.joinable()) thread_ = std::thread(&PostingQueue::run, this);
  const std::uint64_t number = ++submitted_;
  waiting_.push_back(Entry{number, keep, std::move(job)});
  if (waiting_.size() > kMostWaiting) {
    const auto oldest = std::find_if(waiting_.begin(), waiting_.end(), [](const Entry& entry) {
      return entry.keep == QueueKeep::Droppable;
    });
    if (oldest != waiting_.end()) {
      dropped = std::move(oldest->job);
      waiting_.erase(oldest);
      ++dropped_;
    }
  }
  lock.unlock();
  changed_.notify_all();
  return number;
}

std::uint64_t PostingQueue::latest() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return submitted_;
}

template <typename Done>
bool PostingQueue::waitUntil(std::unique_lock<std::mutex>& lock,
                             std::chrono::steady_clock::duration limit, Done done) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return false;
    lock.unlock();
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kWaitSlice));
    lock.lock();
  }
  return true;
}

bool PostingQueue::waitFor(std::uint64_t number, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return waitUntil(lock, limit, [&] {
    const bool earlierWaiting = !waiting_.empty() && waiting_.front().number <= number;
    const bool earlierRunning = running_ != 0 && running_ <= number;
    return closing_ || (!earlierWaiting && !earlierRunning);
  });
}

void PostingQueue::pause(std::chrono::steady_clock::duration wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  (void)waitUntil(lock, wait, [&] { return closing_; });
}

void PostingQueue::run() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return closing_ || !waiting_.empty(); });
    if (closing_) return;
    Entry entry = std::move(waiting_.front());
    waiting_.pop_front();
    running_ = entry.number;
    const std::size_t dropped = std::exchange(dropped_, 0);
    lock.unlock();
    if (dropped != 0) {
      try {
        writeDiagnostic("skipped " + std::to_string(dropped) + " frame message" +
                        (dropped == 1 ? "" : "s") + ": more than " + std::to_string(kMostWaiting) +
                        " waited to be sent");
      } catch (...) {
        writeDiagnostic("error out of memory");
      }
    }
    runJob(entry.job);
    entry.job = nullptr;  // what the job held goes outside the lock
    lock.lock();
    running_ = 0;
    changed_.notify_all();
  }
}

void PostingQueue::close(std::chrono::milliseconds drain) noexcept {
  std::deque<Entry> abandoned;
  std::size_t left = 0;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (closing_) return;
    (void)waitUntil(lock, drain, [&] { return idle(); });
    left = waiting_.size() + (running_ != 0 ? 1 : 0);
    abandoned.swap(waiting_);
    closing_ = true;
  }
  changed_.notify_all();
  if (left != 0) {
    try {
      writeDiagnostic(std::to_string(left) + " message" + (left == 1 ? "" : "s") +
                      " not sent: the host closed");
    } catch (...) {
      writeDiagnostic("error out of memory");
    }
    cancelPostingTransfers();
  }
  if (thread_.joinable()) thread_.join();
}

void openPostingQueue() {
  ModuleQueue& module = moduleQueue();
  const std::lock_guard<std::mutex> lock(module.mutex);
  if (module.owned) return;
  module.owned = std::make_unique<PostingQueue>();
  module.current.store(module.owned.get());
}

void closePostingQueue() noexcept {
  ModuleQueue& module = moduleQueue();
  const std::lock_guard<std::mutex> lock(module.mutex);
  if (module.owned) {
    module.owned->close(kShutdownDrain);
    module.current.store(nullptr);
    module.owned.reset();
  }
  closePostingClients();
}

std::uint64_t handOverPosting(PostingJob job, QueueKeep keep) {
  if (PostingQueue* queue = moduleQueue().current.load())
    return queue->submit(std::move(job), keep);
  job();
  return 0;
}

std::uint64_t latestPosting() noexcept {
  PostingQueue* queue = moduleQueue().current.load();
  return queue != nullptr ? queue->latest() : 0;
}

bool waitForPosting(std::uint64_t number, std::chrono::milliseconds limit) {
  if (number == 0) return true;
  PostingQueue* queue = moduleQueue().current.load();
  return queue == nullptr || queue->waitFor(number, limit);
}

void pauseForPosting(std::chrono::steady_clock::duration wait) {
  if (PostingQueue* queue = moduleQueue().current.load()) {
    queue->pause(wait);
    return;
  }
  std::this_thread::sleep_for(wait);
}

}  // namespace pingwell
