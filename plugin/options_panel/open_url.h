#pragma once
// Opening a web page in the user's browser, the platform's way.

namespace pingwell {

// Hands `url` to the desktop and returns at once, without waiting for the
// browser. On Windows that is the shell's "open" verb; elsewhere the
// desktop's opener (xdg-open) when one is on the search path, started fully
// detached so that it never blocks the caller and leaves no child behind.
// Where there is no opener nothing happens. Never throws, never fails the
// caller.
void openUrlInBrowser(const char* url) noexcept;

}  // namespace pingwell
