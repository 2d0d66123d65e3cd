// The settings file on Windows: the C runtime's descriptors in text mode,
// MoveFileEx for the replacement.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <climits>
#include <cstdio>

#include "plugin/notifier/settings_file.h"
#include "plugin/notifier/settings_file_platform.h"

namespace pingwell {

const char kPathSeparator = '\\';

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

namespace settings_platform {

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

}  // namespace settings_platform

}  // namespace pingwell
