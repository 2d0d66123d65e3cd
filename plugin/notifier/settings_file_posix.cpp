// The settings file on POSIX systems: descriptors that never block, a
// private temporary file (mkostemp), rename(2) and fsync(2).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "plugin/notifier/settings_file.h"
#include "plugin/notifier/settings_file_platform.h"

namespace pingwell {

const char kPathSeparator = '/';

namespace settings_platform {

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

}  // namespace settings_platform

bool readSettingsFile(const std::string& path, SettingsLines& lines) {
  if (path.empty()) return false;
  const int fd = settings_platform::openRegularFile(path, O_RDONLY, 0);
  if (fd < 0) return false;
  const settings_platform::FdCloser closer{fd};
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

namespace settings_platform {

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
  const settings_platform::FdCloser closer{fd};
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

}  // namespace settings_platform

}  // namespace pingwell
