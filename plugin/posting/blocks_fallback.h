#pragma once
// Messages that carry blocks (the chart of a render's frame times) beside
// their text, and what becomes of them where the service takes no such
// blocks: the message must never be lost to its chart. The same call goes
// once more without the blocks, one line tells the service's error, and the
// token sends no blocks for the rest of the process.
#include <string>
#include <string_view>

#include "plugin/posting/posting.h"

namespace pingwell {

// postMessageAs with `blocks` (a JSON array's text) as the message's
// "blocks". With empty blocks, or a token the service refused blocks of
// before, it is postMessageAs itself, byte for byte. When the service
// refuses the blocks (invalid_blocks, invalid_blocks_format), the message
// goes once more without them at once, on the same turn of the client.
// Throws only std::bad_alloc.
PostResult postMessageWithBlocks(const PostSettings& settings, PostKind kind,
                                 const std::string& text, std::string_view blocks,
                                 const ThreadPlace& place = {},
                                 RenderEnded renderEnded = std::nullopt);

// editMessageAs with `blocks`, as postMessageWithBlocks posts.
PostResult editMessageWithBlocks(const PostSettings& settings, PostKind kind,
                                 const std::string& channelId, const std::string& ts,
                                 const std::string& text, std::string_view blocks);

// Whether messages with `token` may carry blocks: the service has not
// refused them in this process. Thread-safe. Throws only std::bad_alloc.
bool tokenSendsBlocks(const std::string& token);

}  // namespace pingwell
