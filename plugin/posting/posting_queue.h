#pragma once
// The posting thread: the render's messages are composed on the render's
// thread and handed over here, and one thread of the module sends them in
// the order they came, under posting's rules. The render never waits for
// the network, a back-off pause or a rate limit; only its completion waits,
// a bounded time, for what it queued.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace pingwell {

// What may become of a request that waits too long.
enum class QueueKeep {
  Droppable,      // a frame message or a progress edit: the oldest goes when the queue is full
  Preview,        // a preview (its pixels are large): kept as UntilShutdown for now
  UntilShutdown,  // a render's completion or abort: never dropped, abandoned only at shutdown
};

using PostingJob = std::function<void()>;

class PostingQueue {
 public:
  // At most this many requests wait; beyond, the oldest droppable one goes.
  static constexpr std::size_t kMostWaiting = 256;

  PostingQueue() = default;
  // Closes with no time to drain (see close).
  ~PostingQueue();
  PostingQueue(const PostingQueue&) = delete;
  PostingQueue& operator=(const PostingQueue&) = delete;

  // Appends `job`, started by the thread after every job before it; starts
  // the thread at the first. Returns the job's number (0 once closed: the
  // job is dropped). Throws std::bad_alloc, and std::system_error when no
  // thread can be started.
  std::uint64_t submit(PostingJob job, QueueKeep keep);

  // The number of the latest job submitted (0: none yet).
  std::uint64_t latest();

  // Waits until every job up to `number` has run (or was dropped), at most
  // `limit`. True when they all have.
  bool waitFor(std::uint64_t number, std::chrono::milliseconds limit);

  // On the posting thread: waits `wait`, or less when the queue closes.
  void pause(std::chrono::steady_clock::duration wait);

  // Gives the jobs up to `drain` to run, then abandons those left with one
  // line ("N messages not sent: the host closed"), ends the transfer under
  // way and stops the thread. Later submissions are dropped. Never throws.
  void close(std::chrono::milliseconds drain) noexcept;

 private:
  struct Entry {
    std::uint64_t number = 0;
    QueueKeep keep = QueueKeep::Droppable;
    PostingJob job;
  };

  // Waits under `lock` until `done()` holds, at most `limit`; true when it
  // does. Timed waits sleep in slices of kWaitSlice rather than wait on the
  // condition variable with a deadline, so that a clock made to run fast
  // (libfaketime in the tests) shortens them as it shortens every sleep.
  template <typename Done>
  bool waitUntil(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::duration limit,
                 Done done);
  static constexpr std::chrono::milliseconds kWaitSlice{2};

  void run() noexcept;
  bool idle() const noexcept { return waiting_.empty() && running_ == 0; }

  std::mutex mutex_;
  std::condition_variable changed_;  // a job came or ended, or the queue closes
  std::deque<Entry> waiting_;        // in order of their numbers
  std::uint64_t submitted_ = 0;      // the number of the latest job
  std::uint64_t running_ = 0;        // the number of the job running, or 0
  std::size_t dropped_ = 0;          // dropped since the last line that told of it
  bool closing_ = false;
  std::thread thread_;
};

// The module's posting thread, from its start-up to its shutdown. Without
// it (the plug-in's libraries linked alone, in unit tests and benchmarks)
// every job runs at once on the caller's thread.
void openPostingQueue();

// The module's shutdown: up to 10 s for the queue to drain, then what is
// left is abandoned (one line), the thread stops, and the clients and
// libcurl's global state are released, all before it returns. Never throws.
void closePostingQueue() noexcept;

// Hands `job` to the module's posting thread, or runs it at once when there
// is none. Returns the number to wait for (0: nothing to wait for). Throws
// what PostingQueue::submit and the job throw.
std::uint64_t handOverPosting(PostingJob job, QueueKeep keep);

// The number of the latest job handed to the module's posting thread (0:
// none, or no thread).
std::uint64_t latestPosting() noexcept;

// Waits, at most `limit`, until the jobs up to `number` have run. True when
// they have (or there is nothing to wait for).
bool waitForPosting(std::uint64_t number, std::chrono::milliseconds limit);

// Waits `wait` on the caller's thread, or less when the module's posting
// queue closes meanwhile: the pauses of posting's rules.
void pauseForPosting(std::chrono::steady_clock::duration wait);

}  // namespace pingwell
