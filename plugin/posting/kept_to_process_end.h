#pragma once
// State that the posting thread uses, made at its first use. A host that
// calls exit() without the module's shutdown runs the static destructors
// while that thread may still be sending: the object is then left to the
// process's end. After the shutdown (the thread stopped) it is freed as any
// other.
#include <memory>

#include "plugin/posting/posting_queue.h"

namespace pingwell {

template <typename T>
class KeptToProcessEnd {
 public:
  KeptToProcessEnd() : object_(std::make_unique<T>()) {}
  ~KeptToProcessEnd() {
    if (postingQueueOpen()) (void)object_.release();
  }
  KeptToProcessEnd(const KeptToProcessEnd&) = delete;
  KeptToProcessEnd& operator=(const KeptToProcessEnd&) = delete;

  T& get() noexcept { return *object_; }

 private:
  std::unique_ptr<T> object_;
};

}  // namespace pingwell
