#pragma once
// The clients of the process: one for the posting thread, which carries the
// render's messages, and one for the callers that wait for their own answer
// (the options panel's test message), so that neither waits for a transfer
// of the other. Each is made at its first use and lives until the module
// closes them; nothing of libcurl is left to a static destructor.
#include <mutex>
#include <string>

namespace pingwell {

class SlackClient;

enum class ClientUse {
  Posting,  // the posting thread (or the caller itself when no module runs one)
  Waiting,  // a caller that waits for its answer: the test message
};

// One client, held for one call: setting the token and the call are one
// step, or a message could go out with another caller's settings.
class ClientLease {
 public:
  // Makes the client of `use` if there is none yet. Throws std::bad_alloc.
  explicit ClientLease(ClientUse use);
  SlackClient& client() noexcept { return *client_; }
  // Whether cancelPostingTransfers ended this client's transfers: what it
  // sent since was abandoned, and told of as such.
  bool cancelled() const noexcept;

 private:
  std::unique_lock<std::mutex> lock_;
  SlackClient* client_ = nullptr;
};

// Ends the transfer the posting client is making now and every later one
// (within about a second), so that the module's shutdown never waits out a
// time-out. The client is made anew at its next use after
// closePostingClients.
void cancelPostingTransfers() noexcept;

// Destroys both clients, each after the call it is making, and with them
// the last reference of libcurl's global state this module took. The next
// use makes a new client. Never throws.
void closePostingClients() noexcept;

}  // namespace pingwell
