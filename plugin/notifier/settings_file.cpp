#include "plugin/notifier/settings_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "plugin/notifier/settings_file_platform.h"

namespace pingwell {

namespace {

constexpr int kSettingsLineCount = 4;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

// Number of line feeds in `text`, counting no further than `limit`.
int lineFeeds(std::string_view text, int limit) {
  int count = 0;
  for (char c : text) {
    if (c == '\n' && ++count == limit) break;
  }
  return count;
}

}  // namespace

bool appendChunkOfLeadingLines(std::string& bytes, std::string_view fresh, int& seen) {
  bytes.append(fresh);
  seen += lineFeeds(fresh, kSettingsLineCount - seen);
  if (seen >= kSettingsLineCount) return true;
  // A fourth line longer than "Notify" can be is not read to its end.
  if (seen < kSettingsLineCount - 1) return false;
  return bytes.size() - (bytes.rfind('\n') + 1) > kLongestNotify + 1;
}

std::string settingsFilePath(const char* folder) {
  if (folder == nullptr || *folder == '\0') return {};
  std::string path(folder);
  path += kPathSeparator;
  path += kSettingsFileName;
  return path;
}

std::string_view settingsToken(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

SettingsLines parseSettings(std::string_view bytes) {
  SettingsLines lines;
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    bytes.remove_prefix(kByteOrderMark.size());
  std::string* targets[kSettingsLineCount] = {&lines.token, &lines.userName, &lines.channel,
                                             &lines.notify};
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
  lines.token.assign(settingsToken(lines.token));
  if (lines.notify.size() > kLongestNotify) lines.notify.clear();
  return lines;
}

using settings_platform::closeFile;
using settings_platform::createTempBeside;
using settings_platform::flushToDisk;
using settings_platform::removeFile;
using settings_platform::replaceFile;
using settings_platform::replacementTarget;
using settings_platform::writeAll;

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
  for (const std::string* value : {&lines.token, &lines.userName, &lines.channel, &lines.notify}) {
    if (value == &lines.notify && value->empty()) break;
    ok = ok && writeAll(fd_, value->data(), value->size()) && writeAll(fd_, "\n", 1);
  }
  ok = ok && flushToDisk(fd_);
  ok = closeFile(std::exchange(fd_, -1)) && ok;
  ok = ok && replaceFile(tempPath_, targetPath_);
  if (!ok) removeFile(tempPath_);
  return ok;
}

}  // namespace pingwell
