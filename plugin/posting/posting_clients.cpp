#include "plugin/posting/posting_clients.h"

#include <atomic>
#include <memory>

#include "slack/client.h"

namespace pingwell {

namespace {

struct HeldClient {
  std::mutex mutex;
  std::unique_ptr<SlackClient> client;
  // The client, for cancelPostingTransfers, which cannot wait for the lock.
  std::atomic<SlackClient*> current{nullptr};
};

struct Clients {
  HeldClient posting;
  HeldClient waiting;
  // A host that unloads the module without its shutdown leaves the clients
  // to the process's end: libcurl is not to be touched from a static
  // destructor (on Windows it would run under the loader lock).
  ~Clients() {
    (void)posting.client.release();
    (void)waiting.client.release();
  }
};

Clients& clients() {
  static Clients held;
  return held;
}

HeldClient& heldFor(ClientUse use) {
  return use == ClientUse::Posting ? clients().posting : clients().waiting;
}

void close(HeldClient& held) noexcept {
  const std::lock_guard<std::mutex> lock(held.mutex);
  held.current.store(nullptr);
  held.client.reset();
}

}  // namespace

ClientLease::ClientLease(ClientUse use) {
  HeldClient& held = heldFor(use);
  lock_ = std::unique_lock<std::mutex>(held.mutex);
  if (!held.client) {
    held.client = std::make_unique<SlackClient>(std::string(), true);
    held.current.store(held.client.get());
  }
  client_ = held.client.get();
}

bool ClientLease::cancelled() const noexcept { return client_->cancelled(); }

void cancelPostingTransfers() noexcept {
  // Without the lock: the posting thread holds it for the whole transfer.
  // The client is destroyed only by closePostingClients, after this.
  if (SlackClient* client = clients().posting.current.load()) client->cancelTransfers();
}

void closePostingClients() noexcept {
  close(clients().posting);
  close(clients().waiting);
}

}  // namespace pingwell
