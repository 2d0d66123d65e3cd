#include "plugin/settings_file.h"

#include <cerrno>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

SettingsFileWriter::SettingsFileWriter(const std::string& path) noexcept {
  if (!path.empty()) file_ = std::fopen(path.c_str(), "w");
}

SettingsFileWriter::~SettingsFileWriter() {
  if (file_ != nullptr) std::fclose(static_cast<std::FILE*>(file_));
}

bool SettingsFileWriter::isOpen() const noexcept { return file_ != nullptr; }

bool SettingsFileWriter::writeAndClose(const SettingsLines& lines) noexcept {
  if (file_ == nullptr) return false;
  auto* file = static_cast<std::FILE*>(file_);
  file_ = nullptr;
  bool ok = true;
  for (const std::string* value : {&lines.token, &lines.userName, &lines.channel}) {
    // Text mode turns each line feed into CR LF.
    if (!value->empty() && std::fwrite(value->data(), 1, value->size(), file) != value->size())
      ok = false;
    if (std::fputc('\n', file) == EOF) ok = false;
  }
  if (std::fclose(file) != 0) ok = false;
  return ok;
}

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

SettingsFileWriter::SettingsFileWriter(const std::string& path) noexcept {
  if (path.empty()) return;
  fd_ = openRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC, S_IRUSR | S_IWUSR);
  if (fd_ < 0) return;
  // The mode above applies to a new file only; an older file may have been
  // readable by others.
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    (void)::fchmod(fd_, info.st_mode & S_IRWXU);
  }
}

SettingsFileWriter::~SettingsFileWriter() {
  if (fd_ >= 0) ::close(fd_);
}

bool SettingsFileWriter::isOpen() const noexcept { return fd_ >= 0; }

bool SettingsFileWriter::writeAndClose(const SettingsLines& lines) noexcept {
  if (fd_ < 0) return false;
  const int fd = fd_;
  fd_ = -1;
  bool ok = true;
  for (const std::string* value : {&lines.token, &lines.userName, &lines.channel}) {
    if (ok) ok = writeAll(fd, value->data(), value->size()) && writeAll(fd, "\n", 1);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

#endif

}  // namespace pingwell
