// The settings file on Windows: the C runtime's descriptors in text mode,
// MoveFileEx for the replacement, every name through the wide-character
// functions, so that a folder such as C:\Users\José\... is found whatever
// the system's code page.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <string>

#include "plugin/notifier/settings_file.h"
#include "plugin/notifier/settings_file_platform.h"

namespace pingwell {

const char kPathSeparator = '\\';

namespace {

// A path as the wide-character file functions take it. Later hosts name
// folders in UTF-8, older ones in the system's ANSI code page: bytes that are
// valid UTF-8 are read as UTF-8, any others as the ANSI code page. Empty when
// neither gives a name.
std::wstring widePath(const std::string& path) {
  if (path.empty() || path.size() > static_cast<size_t>(INT_MAX)) return {};
  const int size = static_cast<int>(path.size());
  for (const UINT codePage : {UINT{CP_UTF8}, UINT{CP_ACP}}) {
    const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int length = MultiByteToWideChar(codePage, flags, path.data(), size, nullptr, 0);
    if (length <= 0) continue;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, flags, path.data(), size, wide.data(), length) == length)
      return wide;
  }
  return {};
}

// A wide name as UTF-8, which widePath reads back as the same name.
std::string utf8Path(const std::wstring& wide) {
  if (wide.empty() || wide.size() > static_cast<size_t>(INT_MAX)) return {};
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string path(static_cast<size_t>(length), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, path.data(), length, nullptr, nullptr) !=
      length)
    return {};
  return path;
}

}  // namespace

bool readSettingsFile(const std::string& path, SettingsLines& lines) {
  if (path.empty()) return false;
  std::FILE* file = _wfopen(widePath(path).c_str(), L"rb");
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
      CreateFileW(widePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  const HandleCloser closer{file};
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(
        file, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      return utf8Path(name);
    }
    name.resize(length);  // too small: `length` counts the terminating zero
  }
}

// The file the new contents replace, empty when there is none the writer may
// replace.
std::string replacementTarget(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? path : std::string();
  }
  if (!replaceable(attributes)) return {};
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  std::string destination = linkDestination(path);
  if (destination.empty()) return {};
  const DWORD destinationAttributes = GetFileAttributesW(widePath(destination).c_str());
  if (destinationAttributes == INVALID_FILE_ATTRIBUTES || !replaceable(destinationAttributes))
    return {};
  return destination;
}

// Creates a file of a name of its own beside `target`, in text mode so that
// each line feed written becomes CR LF.
int createTempBeside(const std::string& target, std::string& tempPath) {
  static std::atomic<unsigned> made{0};
  tempPath = target + "." + std::to_string(_getpid()) + "-" + std::to_string(++made) + ".tmp";
  return _wopen(widePath(tempPath).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT | _O_NOINHERIT,
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
  std::wstring from, to;
  try {
    from = widePath(temp);
    to = widePath(target);
  } catch (...) {
    return false;
  }
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
        0)
      return true;
    const DWORD error = GetLastError();
    if (attempt == kTries || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))
      return false;
    Sleep(kPauseMs);
  }
}

void removeFile(const std::string& path) noexcept {
  try {
    DeleteFileW(widePath(path).c_str());
  } catch (...) {
    // Only memory: the temporary file stays behind.
  }
}

}  // namespace settings_platform

}  // namespace pingwell
