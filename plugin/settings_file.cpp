#include "plugin/settings_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <climits>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#endif

namespace pingwell {

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

constexpr int kSettingsLineCount = 3;

// Number of line feeds in `text`, counting no further than `limit`.
int lineFeeds(std::string_view text, int limit) {
  int count = 0;
  for (char c : text) {
    if (c == '\n' && ++count == limit) break;
  }
  return count;
}

// Appends the file's bytes to `bytes` until it holds the three line ends or
// the file ends. `readChunk` returns the bytes read into its buffer, 0 at the
// end, negative on an error (which also ends the read).
template <typename ReadChunk>
void readLeadingLines(std::string& bytes, ReadChunk readChunk) {
  char chunk[4096];
  int seen = 0;
  for (;;) {
    const long got = readChunk(chunk, sizeof chunk);
    if (got <= 0) return;
    const std::string_view fresh(chunk, static_cast<size_t>(got));
    bytes.append(fresh);
    seen += lineFeeds(fresh, kSettingsLineCount - seen);
    if (seen >= kSettingsLineCount) return;
  }
}

}  // namespace

std::string settingsFilePath(const char* folder) {
  if (folder == nullptr || *folder == '\0') return {};
  std::string path(folder);
  path += kPathSeparator;
  path += kSettingsFileName;
  return path;
}

SettingsLines parseSettings(std::string_view bytes) {
  SettingsLines lines;
  std::string* targets[kSettingsLineCount] = {&lines.token, &lines.userName, &lines.channel};
  for (std::string* target : targets) {
    if (bytes.empty()) break;
    const size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (end != std::string_view::npos) {
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      bytes.remove_prefix(end + 1);
    } else {
      bytes = {};
    }
    target->assign(line);
  }
  return lines;
}

#ifdef _WIN32

bool readSettingsFile(const std::string& path, SettingsLines& lines) {
  if (path.empty()) return false;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::string bytes;
  try {
    readLeadingLines(bytes, [file](char* buffer, size_t size) -> long {
      const size_t got = std::fread(buffer, 1, size, file);
      return got > 0 ? static_cast<long>(got) : (std::ferror(file) ? -1 : 0);
    });
  } catch (...) {
    std::fclose(file);
    throw;
  }
  std::fclose(file);
  lines = parseSettings(bytes);
  return true;
}

namespace {

// Attributes of a file the writer may replace: no folder, no device, nothing
// marked read-only (which the user may have done on purpose).
bool replaceable(DWORD attributes) {
  return (attributes &
          (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY)) == 0;
}

struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() { CloseHandle(handle); }
};

// The full name of the file the link at `path` leads to, empty when unknown.
// The file is opened for no access at all, only to learn its name.
std::string linkDestination(const std::string& path) {
  const HANDLE file =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  const HandleCloser closer{file};
  std::string name(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleA(
        file, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      return name;
    }
    name.resize(length);  // too small: `length` counts the terminating zero
  }
}

// The file the new contents replace, empty when there is none the writer may
// replace.
std::string replacementTarget(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? path : std::string();
  }
  if (!replaceable(attributes)) return {};
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  std::string destination = linkDestination(path);
  if (destination.empty()) return {};
  const DWORD destinationAttributes = GetFileAttributesA(destination.c_str());
  if (destinationAttributes == INVALID_FILE_ATTRIBUTES || !replaceable(destinationAttributes))
    return {};
  return destination;
}

// Creates a file of a name of its own beside `target`, in text mode so that
// each line feed written becomes CR LF.
int createTempBeside(const std::string& target, std::string& tempPath) {
  static std::atomic<unsigned> made{0};
  tempPath = target + "." + std::to_string(_getpid()) + "-" + std::to_string(++made) + ".tmp";
  return _open(tempPath.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const unsigned part = static_cast<unsigned>(size < INT_MAX / 2 ? size : INT_MAX / 2);
    const int written = _write(fd, data, part);
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool flushToDisk(int fd) { return _commit(fd) == 0; }

bool closeFile(int fd) { return _close(fd) == 0; }

// A virus scanner, or another instance reading the settings, may hold either
// file open for a moment, and Windows then refuses the replacement: it is
// tried again for about half a second before the write counts as failed.
bool replaceFile(const std::string& temp, const std::string& target) noexcept {
  constexpr int kTries = 10;
  constexpr DWORD kPauseMs = 50;
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(temp.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
      return true;
    const DWORD error = GetLastError();
    if (attempt == kTries || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))
      return false;
    Sleep(kPauseMs);
  }
}

void removeFile(const std::string& path) noexcept { DeleteFileA(path.c_str()); }

}  // namespace

#else

namespace {

// Opens without blocking (a FIFO put in the file's place must not hang the
// host) and accepts regular files only.
int openRegularFile(const std::string& path, int flags, mode_t mode) {
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

struct FdCloser {
  int fd;
  ~FdCloser() { ::close(fd); }
};

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

bool readSettingsFile(const std::string& path, SettingsLines& lines) {
  if (path.empty()) return false;
  const int fd = openRegularFile(path, O_RDONLY, 0);
  if (fd < 0) return false;
  const FdCloser closer{fd};
  std::string bytes;
  readLeadingLines(bytes, [fd](char* buffer, size_t size) -> long {
    for (;;) {
      const ssize_t got = ::read(fd, buffer, size);
      if (got < 0 && errno == EINTR) continue;
      return static_cast<long>(got);
    }
  });
  lines = parseSettings(bytes);
  return true;
}

namespace {

struct FreeDeleter {
  void operator()(char* memory) const { std::free(memory); }
};

// The file the new contents replace, empty when there is none the writer may
// replace. It is looked at, never opened: a FIFO or a device in its place
// must not block the host.
std::string replacementTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT ? path : std::string();
  std::string target = path;
  if (S_ISLNK(info.st_mode)) {
    const std::unique_ptr<char, FreeDeleter> destination(::realpath(path.c_str(), nullptr));
    if (destination == nullptr || ::stat(destination.get(), &info) != 0) return {};
    target = destination.get();
  }
  // A file the user made read-only is left alone, though its folder would let
  // a rename replace it.
  if (!S_ISREG(info.st_mode) || ::access(target.c_str(), W_OK) != 0) return {};
  return target;
}

// Creates a file of a name of its own beside `target`, readable and writable
// by its owner only.
int createTempBeside(const std::string& target, std::string& tempPath) {
  tempPath = target + ".XXXXXX";
  return ::mkostemp(tempPath.data(), O_CLOEXEC);
}

bool flushToDisk(int fd) { return ::fsync(fd) == 0; }

bool closeFile(int fd) { return ::close(fd) == 0; }

// Makes the rename itself durable, as far as the system lets it.
void syncFolderOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : file.substr(0, slash == 0 ? 1 : slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const FdCloser closer{fd};
  (void)::fsync(fd);
}

bool replaceFile(const std::string& temp, const std::string& target) noexcept {
  if (::rename(temp.c_str(), target.c_str()) != 0) return false;
  try {
    syncFolderOf(target);
  } catch (...) {
    // Only memory; the file is in place either way.
  }
  return true;
}

void removeFile(const std::string& path) noexcept { (void)::unlink(path.c_str()); }

}  // namespace

#endif

SettingsFileWriter::SettingsFileWriter(const std::string& path) noexcept {
  if (path.empty()) return;
  try {
    targetPath_ = replacementTarget(path);
    if (!targetPath_.empty()) fd_ = createTempBeside(targetPath_, tempPath_);
  } catch (...) {
    // Only memory, before any file was made: the writer is not open.
  }
}

SettingsFileWriter::~SettingsFileWriter() { discard(); }

bool SettingsFileWriter::isOpen() const noexcept { return fd_ >= 0; }

void SettingsFileWriter::discard() noexcept {
  if (fd_ < 0) return;
  (void)closeFile(std::exchange(fd_, -1));
  removeFile(tempPath_);
}

bool SettingsFileWriter::writeAndClose(const SettingsLines& lines) noexcept {
  if (fd_ < 0) return false;
  bool ok = true;
  for (const std::string* value : {&lines.token, &lines.userName, &lines.channel}) {
    ok = ok && writeAll(fd_, value->data(), value->size()) && writeAll(fd_, "\n", 1);
  }
  ok = ok && flushToDisk(fd_);
  ok = closeFile(std::exchange(fd_, -1)) && ok;
  ok = ok && replaceFile(tempPath_, targetPath_);
  if (!ok) removeFile(tempPath_);
  return ok;
}

}  // namespace pingwell
