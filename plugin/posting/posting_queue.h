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
  Preview,        // a preview (its pixels are large): the oldest goes when too many wait
  UntilShutdown,  // a render's completion or abort: never dropped, abandoned only at shutdown
};

using PostingJob = std::function<void()>;

class PostingQueue {
 public:
  // At most this many requests wait; beyond, the oldest droppable one goes.
  static constexpr std::size_t kMostWaiting = 256;
  // At most this many previews wait (each holds a frame's pixels); beyond,
  // the oldest waiting preview goes.
  static constexpr std::size_t kMostPreviewsWaiting = 4;

  PostingQueue() = default;
  // Closes with no time to drain (see close).
  ~PostingQueue();
  PostingQueue(const PostingQueue&) = delete;
  PostingQueue& operator=(const PostingQueue&) = delete;

  // Appends `job`, started by the thread after every job before it; starts
  // the thread at the first. Returns the job's number (0 once closed: the
  // job is dropped, and the caller tells of it). A droppable job or a
  // preview dropped to make room is told of by the thread, one line, before
  // its next job. Throws std::bad_alloc, and std::system_error when no
  // thread can be started.
  std::uint64_t submit(PostingJob job, QueueKeep keep);

  // The number of the latest job submitted (0: none yet). Throws
  // std::system_error when the lock cannot be taken.
  std::uint64_t latest();

  // Waits until every job up to `number` has run (or was dropped or
  // abandoned), at most `limit`. True when they all have. Throws
  // std::system_error when the lock cannot be taken.
  bool waitUntilJobsRan(std::uint64_t number, std::chrono::milliseconds limit);

  // On the posting thread: waits `wait`, or less when the queue closes.
  // True when the whole wait passed with the queue open.
  bool pauseUnlessClosed(std::chrono::steady_clock::duration wait);

  // Gives the jobs up to `drain` to run, then abandons those left with one
  // line ("N messages not sent: the host closed"), ends the transfer under
  // way and stops the thread. Later submissions are dropped until reopen.
  // Never throws.
  void close(std::chrono::milliseconds drain) noexcept;

  // After close: takes submissions again, the thread started at the next.
  void reopen() noexcept;

 private:
  struct Entry {
    std::uint64_t number = 0;
    QueueKeep keep = QueueKeep::Droppable;
    PostingJob job;
  };

  // Waits on the condition variable under `lock` until `done()` holds, at
  // most `limit` on the steady clock; true when it does.
  template <typename Done>
  bool waitUntil(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::duration limit,
                 Done done);
  // Takes the oldest waiting job of `keep` out of the queue into `dropped`;
  // false when none waits.
  bool dropOldest(QueueKeep keep, PostingJob& dropped);
  // The line of the jobs dropped since the last one, when there were.
  void tellDropped(std::size_t frameMessages, std::size_t previews) noexcept;

  void run() noexcept;
  bool idle() const noexcept { return waiting_.empty() && running_ == 0; }

  std::mutex mutex_;
  std::condition_variable changed_;  // a job came or ended, or the queue closes
  std::deque<Entry> waiting_;        // in order of their numbers
  std::uint64_t submitted_ = 0;      // the number of the latest job
  std::uint64_t running_ = 0;        // the number of the job running, or 0
  std::size_t previewsWaiting_ = 0;  // of waiting_, those of QueueKeep::Preview
  std::size_t dropped_ = 0;          // frame messages dropped since the last line that told of it
  std::size_t droppedPreviews_ = 0;  // previews, likewise
  bool closing_ = false;
  std::thread thread_;
};

// The module's posting thread, from its start-up to its shutdown. Where no
// module ever opened it (the plug-in's libraries linked alone, in unit tests
// and benchmarks) every job runs at once on the caller's thread. The queue
// is made at the first opening and freed only by the module's static
// destructors: a shutdown closes it, a later start-up opens it again, and a
// render that waits for it meanwhile never touches freed memory; a host that
// exits without the shutdown leaves it to the process's end.
void openPostingQueue();

// Between openPostingQueue and closePostingQueue: the posting thread may
// run. Never throws.
bool postingQueueOpen() noexcept;

// The module's shutdown: up to 10 s for the queue to drain, then what is
// left is abandoned (one line), the thread stops, and the clients and
// libcurl's global state are released, all before it returns. Never throws.
void closePostingQueue() noexcept;

// Hands `job` to the module's posting thread, or runs it at once when no
// module ever opened one. After the shutdown the job is dropped, with the
// line "1 message not sent: the host closed"; it never runs on the caller's
// thread. Returns the number to wait for (0: nothing to wait for). Throws
// what PostingQueue::submit throws, and what the job throws when it runs
// at once.
std::uint64_t handOverPosting(PostingJob job, QueueKeep keep);

// The number of the latest job handed to the module's posting thread (0:
// none, no thread, or the lock could not be taken). Never throws.
std::uint64_t latestPosting() noexcept;

// Waits, at most `limit`, until the jobs up to `number` have run. True when
// they have (or there is nothing to wait for); false as well when the wait
// could not be made. Never throws.
bool waitForPosting(std::uint64_t number, std::chrono::milliseconds limit) noexcept;

// Waits `wait` on the caller's thread (the posting thread), or less when the
// module's posting queue closes meanwhile: the pauses of posting's rules.
// A pause that replacePluginPause put in place is taken instead, at once.
// True when the whole wait passed and the queue did not close.
bool pauseForPosting(std::chrono::steady_clock::duration wait);

}  // namespace pingwell
