#include "plugin/posting/posting_queue.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "plugin/posting/plugin_clock.h"
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

// "N messages not sent: the host closed", or "error out of memory".
void tellNotSent(std::size_t count) noexcept {
  try {
    writeDiagnostic(std::to_string(count) + " message" + (count == 1 ? "" : "s") +
                    " not sent: the host closed");
  } catch (...) {
    writeDiagnostic("error out of memory");
  }
}

// Between an opening and its shutdown (constant-initialized: it is read by
// static destructors).
std::atomic<bool> queueOpen{false};

struct ModuleQueue {
  std::mutex mutex;  // opening and closing
  std::unique_ptr<PostingQueue> owned;
  // Set at the first opening and never cleared: read by every render event.
  // Null: no module ever opened the queue, and jobs run on their caller's
  // thread.
  std::atomic<PostingQueue*> opened{nullptr};
  // A host that unloads the module without its shutdown, or exits, leaves
  // the queue to the process's end: a static destructor must not join a
  // thread or touch libcurl (on Windows it would run under the loader lock),
  // and the posting thread may still be using it.
  ~ModuleQueue() {
    if (queueOpen.load()) (void)owned.release();
  }
};

ModuleQueue& moduleQueue() {
  static ModuleQueue queue;
  return queue;
}

}  // namespace

PostingQueue::~PostingQueue() { close(std::chrono::milliseconds::zero()); }

bool PostingQueue::dropOldest(QueueKeep keep, PostingJob& dropped) {
  const auto oldest = std::find_if(waiting_.begin(), waiting_.end(),
                                   [keep](const Entry& entry) { return entry.keep == keep; });
  if (oldest == waiting_.end()) return false;
  dropped = std::move(oldest->job);
  waiting_.erase(oldest);
  return true;
}

std::uint64_t PostingQueue::submit(PostingJob job, QueueKeep keep) {
  PostingJob dropped;  // freed after the lock
  std::unique_lock<std::mutex> lock(mutex_);
  if (closing_) return 0;
  if (!thread_.joinable()) thread_ = std::thread(&PostingQueue::run, this);
  const std::uint64_t number = ++submitted_;
  waiting_.push_back(Entry{number, keep, std::move(job)});
  if (keep == QueueKeep::Preview && ++previewsWaiting_ > kMostPreviewsWaiting &&
      dropOldest(QueueKeep::Preview, dropped)) {
    --previewsWaiting_;
    ++droppedPreviews_;
  }
  if (waiting_.size() > kMostWaiting && dropOldest(QueueKeep::Droppable, dropped)) ++dropped_;
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
  return changed_.wait_until(lock, std::chrono::steady_clock::now() + limit, done);
}

bool PostingQueue::waitUntilJobsRan(std::uint64_t number, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return waitUntil(lock, limit, [&] {
    const bool earlierWaiting = !waiting_.empty() && waiting_.front().number <= number;
    const bool earlierRunning = running_ != 0 && running_ <= number;
    return closing_ || (!earlierWaiting && !earlierRunning);
  });
}

bool PostingQueue::pauseUnlessClosed(std::chrono::steady_clock::duration wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !waitUntil(lock, wait, [&] { return closing_; });
}

void PostingQueue::tellDropped(std::size_t frameMessages, std::size_t previews) noexcept {
  try {
    if (frameMessages != 0) {
      writeDiagnostic("skipped " + std::to_string(frameMessages) + " frame message" +
                      (frameMessages == 1 ? "" : "s") + ": more than " +
                      std::to_string(kMostWaiting) + " waited to be sent");
    }
    if (previews != 0) {
      writeDiagnostic("skipped " + std::to_string(previews) + " preview" +
                      (previews == 1 ? "" : "s") + ": more than " +
                      std::to_string(kMostPreviewsWaiting) + " waited to be sent");
    }
  } catch (...) {
    writeDiagnostic("error out of memory");
  }
}

void PostingQueue::run() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return closing_ || !waiting_.empty(); });
    if (closing_) return;
    Entry entry = std::move(waiting_.front());
    waiting_.pop_front();
    if (entry.keep == QueueKeep::Preview) --previewsWaiting_;
    running_ = entry.number;
    const std::size_t dropped = std::exchange(dropped_, 0);
    const std::size_t droppedPreviews = std::exchange(droppedPreviews_, 0);
    lock.unlock();
    tellDropped(dropped, droppedPreviews);
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
  try {
    std::unique_lock<std::mutex> lock(mutex_);
    if (closing_) return;
    (void)waitUntil(lock, drain, [&] { return idle(); });
    left = waiting_.size() + (running_ != 0 ? 1 : 0);
    abandoned.swap(waiting_);
    previewsWaiting_ = 0;
    closing_ = true;
  } catch (const std::system_error&) {
    return;  // the lock could not be taken: nothing was changed
  }
  changed_.notify_all();
  if (left != 0) {
    tellNotSent(left);
    cancelPostingTransfers();
  }
  if (thread_.joinable()) thread_.join();
}

void PostingQueue::reopen() noexcept {
  try {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) return;  // open: its thread runs
    closing_ = false;
    dropped_ = 0;
    droppedPreviews_ = 0;
  } catch (const std::system_error&) {
  }
}

void openPostingQueue() {
  ModuleQueue& module = moduleQueue();
  const std::lock_guard<std::mutex> lock(module.mutex);
  if (queueOpen.load()) return;
  if (!module.owned) {
    module.owned = std::make_unique<PostingQueue>();
    module.opened.store(module.owned.get());
  } else {
    module.owned->reopen();
  }
  queueOpen.store(true);
}

void closePostingQueue() noexcept {
  ModuleQueue& module = moduleQueue();
  try {
    const std::lock_guard<std::mutex> lock(module.mutex);
    if (queueOpen.load()) {
      module.owned->close(kShutdownDrain);
      queueOpen.store(false);
    }
  } catch (const std::system_error&) {
  }
  closePostingClients();
}

bool postingQueueOpen() noexcept { return queueOpen.load(); }

std::uint64_t handOverPosting(PostingJob job, QueueKeep keep) {
  PostingQueue* queue = moduleQueue().opened.load();
  if (queue == nullptr) {
    job();
    return 0;
  }
  const std::uint64_t number = queue->submit(std::move(job), keep);
  if (number == 0) tellNotSent(1);
  return number;
}

std::uint64_t latestPosting() noexcept {
  PostingQueue* queue = moduleQueue().opened.load();
  if (queue == nullptr) return 0;
  try {
    return queue->latest();
  } catch (const std::system_error&) {
    return 0;
  }
}

bool waitForPosting(std::uint64_t number, std::chrono::milliseconds limit) noexcept {
  if (number == 0) return true;
  PostingQueue* queue = moduleQueue().opened.load();
  if (queue == nullptr) return true;
  try {
    return queue->waitUntilJobsRan(number, limit);
  } catch (const std::system_error&) {
    return false;
  }
}

bool pauseForPosting(std::chrono::steady_clock::duration wait) {
  PostingQueue* queue = moduleQueue().opened.load();
  if (const PluginPauseFunction replaced = replacedPluginPause()) {
    replaced(wait);
    return queue == nullptr || queue->pauseUnlessClosed(std::chrono::steady_clock::duration::zero());
  }
  if (queue != nullptr) return queue->pauseUnlessClosed(wait);
  std::this_thread::sleep_for(wait);
  return true;
}

}  // namespace pingwell
