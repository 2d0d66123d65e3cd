#pragma once
// What the service reads as markup in a message's text.
#include <string>
#include <string_view>

namespace pingwell {

// The service reads "&", "<" and ">" in a message's text as the start of its
// escapes, links and mentions: a scene named "<!channel>.lws" would notify
// the whole channel. Appends `part` to `text` with those three written as
// "&amp;", "&lt;" and "&gt;", which the service shows as the characters;
// every other byte as it is. For what the plug-in takes from elsewhere (a
// scene name, a machine name, a panel's field) into a text, never for the
// other parameters of a call. Throws only std::bad_alloc.
void appendAsText(std::string& text, std::string_view part);

}  // namespace pingwell
