#pragma once
// The channel IDs the service told of in the replies of this process, kept
// for the calls that need an ID where the artist typed a name (a preview's
// upload). Kept by token and channel: the same "#renders" of two workspaces
// are two channels.
#include <string>

namespace pingwell {

// Notes `channelId` as the ID of `channel` (as the artist named it) in the
// workspace of `token`. Thread-safe. Throws only std::bad_alloc.
void rememberChannelId(const std::string& token, const std::string& channel,
                       const std::string& channelId);

// The ID noted for `channel` with `token`, or empty. Thread-safe. Throws
// only std::bad_alloc.
std::string knownChannelId(const std::string& token, const std::string& channel);

}  // namespace pingwell
