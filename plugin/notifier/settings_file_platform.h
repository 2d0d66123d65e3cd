#pragma once
// What the settings file does differently on each platform: opening,
// writing, flushing and replacing files, and the folder separator.
// settings_file_posix.cpp and settings_file_windows.cpp hold the two; the
// rest of the settings file (settings_file.cpp) is the same everywhere.
#include <cstddef>
#include <string>
#include <string_view>

namespace pingwell {

// Between a folder and a file name in a path.
extern const char kPathSeparator;

// Appends `fresh` to `bytes`, counting the line ends in `seen`; true once the
// settings' four line ends are in, or the fourth line is longer than
// kLongestNotify can be (with a carriage return).
bool appendChunkOfLeadingLines(std::string& bytes, std::string_view fresh, int& seen);

// Appends the file's bytes to `bytes` until appendChunkOfLeadingLines says
// enough or the file ends. `readChunk` returns the bytes read into its buffer, 0 at the
// end, negative on an error (which also ends the read).
template <typename ReadChunk>
void readLeadingLines(std::string& bytes, ReadChunk readChunk) {
  char chunk[4096];
  int seen = 0;
  for (;;) {
    const long got = readChunk(chunk, sizeof chunk);
    if (got <= 0) return;
    if (appendChunkOfLeadingLines(bytes, std::string_view(chunk, static_cast<size_t>(got)), seen))
      return;
  }
}

// The steps of SettingsFileWriter, each platform's own.
namespace settings_platform {

// The file a write replaces: `path`, or the file a link at `path` leads to;
// empty when it must not be replaced.
std::string replacementTarget(const std::string& path);
// A new private temporary file beside `target`, its name in `tempPath`; a
// descriptor, or -1.
int createTempBeside(const std::string& target, std::string& tempPath);
bool writeAll(int fd, const char* data, size_t size);
bool flushToDisk(int fd);
bool closeFile(int fd);
// `temp` renamed over `target`, durably where the platform can.
bool replaceFile(const std::string& temp, const std::string& target) noexcept;
void removeFile(const std::string& path) noexcept;

}  // namespace settings_platform
}  // namespace pingwell
