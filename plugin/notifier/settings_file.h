#pragma once
// The settings file "slacktoken.txt": token, user name and channel, one per
// line, and who the render's last messages mention ("Notify") on a fourth
// line when that is set, in the host's "Settings" folder. One file serves every instance of
// every scene; it is read when an instance is created and rewritten by the
// options panel.
#include <cstddef>
#include <string>
#include <string_view>

namespace pingwell {

inline constexpr const char* kSettingsFileName = "slacktoken.txt";
// "Notify" is at most this long, as the options panel's field holds it; a
// longer fourth line is no "Notify" and is ignored.
inline constexpr size_t kLongestNotify = 1023;

struct SettingsLines {
  std::string token;
  std::string userName;
  std::string channel;
  std::string notify;  // empty: no fourth line
};

// The file's place: `folder`, the platform's separator, the file name. An
// absent or empty folder gives an empty path: there is then no settings file,
// rather than one in the file system's root.
std::string settingsFilePath(const char* folder);

// The first four lines of `bytes`. A line runs up to the next line feed,
// which is dropped together with a carriage return right before it, so files
// with CR LF and with LF line ends read the same on every platform. A last
// line without line end runs to the end; missing lines are empty (a file of
// three lines has no "Notify"); anything after the fourth line is ignored,
// and so is a fourth line longer than kLongestNotify. A UTF-8 byte-order
// mark at the start, as a Windows text editor may write, is dropped; the
// token is taken as settingsToken gives it, name, channel and "Notify" as
// they are.
SettingsLines parseSettings(std::string_view bytes);

// A token never holds blanks: `text` without its leading and trailing
// spaces and tabs, such as a pasted token may bring along.
std::string_view settingsToken(std::string_view text);

// Reads the file at `path` into `lines` (all four replaced). Returns false
// and leaves `lines` alone when the path is empty or names no readable
// regular file. Reads no further than the fourth line end, nor more than
// kLongestNotify and a line end past the third, so an unexpected huge file
// costs nothing. Throws only std::bad_alloc.
bool readSettingsFile(const std::string& path, SettingsLines& lines);

// Writing happens in two steps so that the caller can act between them
// (the panel takes the new texts into the instance only once the writer is
// open). The writer never writes into the settings file itself: it creates a
// temporary file beside it in the same folder, writes the lines there,
// flushes them to the disk, closes the file and renames it over the settings
// file. Readers therefore see the old contents or the new ones, never a part,
// also after a failed write or a crash. A failed write, and a writer dropped
// before writing, remove the temporary file and leave the settings file as it
// was. When the settings file is a symbolic link, the file it points to is
// replaced and the link stays. On POSIX systems the new file is readable and
// writable by its owner only, since it holds a secret token; a replaced older
// file loses any wider permissions it had.
class SettingsFileWriter {
 public:
  // Creates the temporary file for `path`. The writer is not open when the
  // path is empty, names something other than a regular file (which is never
  // opened, so a FIFO cannot hang the host), a file this process may not
  // write, or a place where no file can be created. Never throws.
  explicit SettingsFileWriter(const std::string& path) noexcept;
  ~SettingsFileWriter();
  SettingsFileWriter(const SettingsFileWriter&) = delete;
  SettingsFileWriter& operator=(const SettingsFileWriter&) = delete;

  bool isOpen() const noexcept;

  // Writes the three values, and "Notify" when it is not empty, each
  // followed by the platform's line end, and puts the file in the settings
  // file's place (without "Notify", byte for byte the file of three lines). True only when every step
  // succeeded; on false the settings file keeps its old contents. May be
  // called once.
  bool writeAndClose(const SettingsLines& lines) noexcept;

 private:
  void discard() noexcept;

  int fd_ = -1;             // the temporary file; on Windows opened in text mode
  std::string tempPath_;    // the temporary file's name
  std::string targetPath_;  // the file it replaces: the settings file, or where its link points
};

}  // namespace pingwell
