#pragma once
// The settings file "slacktoken.txt": token, user name and channel, one per
// line, in the host's "Settings" folder. One file serves every instance of
// every scene; it is read when an instance is created and rewritten by the
// options panel.
#include <string>
#include <string_view>

namespace pingwell {

inline constexpr const char* kSettingsFileName = "slacktoken.txt";

struct SettingsLines {
  std::string token;
  std::string userName;
  std::string channel;
};

// The file's place: `folder`, the platform's separator, the file name. An
// absent or empty folder gives an empty path: there is then no settings file,
// rather than one in the file system's root.
std::string settingsFilePath(const char* folder);

// The first three lines of `bytes`. A line runs up to the next line feed,
// which is dropped together with a carriage return right before it, so files
// with CR LF and with LF line ends read the same on every platform. A last
// line without line end runs to the end; missing lines are empty; anything
// after the third line is ignored.
SettingsLines parseSettings(std::string_view bytes);

// Reads the file at `path` into `lines` (all three replaced). Returns false
// and leaves `lines` alone when the path is empty or names no readable
// regular file. Reads no further than the third line end, so an unexpected
// huge file costs nothing. Throws only std::bad_alloc.
bool readSettingsFile(const std::string& path, SettingsLines& lines);

// Writing happens in two steps so that the caller can act between them
// (the panel takes the new texts into the instance only once the file is
// open). On POSIX systems a new file is created readable and writable by its
// owner only, and an existing one loses any group and other permissions,
// since it holds a secret token.
class SettingsFileWriter {
 public:
  // Opens `path` for writing, emptying or creating it. Never throws.
  explicit SettingsFileWriter(const std::string& path) noexcept;
  ~SettingsFileWriter();
  SettingsFileWriter(const SettingsFileWriter&) = delete;
  SettingsFileWriter& operator=(const SettingsFileWriter&) = delete;

  bool isOpen() const noexcept;

  // Writes the three values, each followed by the platform's line end, and
  // closes the file. True only when every write and the closing succeeded.
  // May be called once.
  bool writeAndClose(const SettingsLines& lines) noexcept;

 private:
#ifdef _WIN32
  void* file_ = nullptr;  // FILE*, opened in text mode
#else
  int fd_ = -1;
#endif
};

}  // namespace pingwell
