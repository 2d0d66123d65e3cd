// The settings file reader on arbitrary file contents.
//
// The bytes are the whole file. The pure parser must agree with a plain
// line split; the reader that opens the file must agree with the parser;
// and three values the options panel writes must read back unchanged.
// The file read is an anonymous in-memory file opened through /proc/self/fd,
// so nothing is left on disk, also after a crash. The writer replaces files
// by renaming, which needs a real folder: it writes into a folder of its own
// under the temporary folder, whose file is removed after every input and
// which is removed at the end (a crash leaves the empty folder behind).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "plugin/notifier/settings_file.h"

namespace {

using pingwell::SettingsLines;

int settingsFd() {
  static const int fd = memfd_create("slacktoken.txt", MFD_CLOEXEC);
  return fd;
}

std::string settingsPath() { return "/proc/self/fd/" + std::to_string(settingsFd()); }

// The folder the writer writes into.
class WrittenFolder {
 public:
  WrittenFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pingwell-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
  }
  ~WrittenFolder() {
    if (folder_.empty()) return;
    unlink(file().c_str());
    rmdir(folder_.c_str());
  }
  WrittenFolder(const WrittenFolder&) = delete;
  WrittenFolder& operator=(const WrittenFolder&) = delete;
  bool made() const { return !folder_.empty(); }
  std::string file() const { return folder_ + "/slacktoken.txt"; }

 private:
  std::string folder_;
};

bool replaceFile(std::string_view bytes) {
  const int fd = settingsFd();
  if (fd < 0 || ftruncate(fd, 0) != 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Reference: a leading byte-order mark dropped, then split at line feeds; a
// line that ended in a line feed loses one carriage return before it; four
// lines, missing ones empty; the token without its spaces and tabs at
// either end.
SettingsLines referenceSplit(std::string_view bytes) {
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    bytes.remove_prefix(kByteOrderMark.size());
  std::vector<std::string> lines;
  while (!bytes.empty() && lines.size() < 4) {
    const size_t end = bytes.find('\n');
    if (end == std::string_view::npos) {
      lines.emplace_back(bytes);
      break;
    }
    std::string_view line = bytes.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    bytes.remove_prefix(end + 1);
  }
  lines.resize(4);
  if (lines[3].size() > 1023) lines[3].clear();  // no "Notify" is that long
  std::string& token = lines[0];
  while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) token.pop_back();
  while (!token.empty() && (token.front() == ' ' || token.front() == '\t')) token.erase(0, 1);
  return {lines[0], lines[1], lines[2], lines[3]};
}

bool same(const SettingsLines& a, const SettingsLines& b) {
  return a.token == b.token && a.userName == b.userName && a.channel == b.channel &&
         a.notify == b.notify;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const SettingsLines parsed = pingwell::parseSettings(bytes);
  FUZZ_CHECK(same(parsed, referenceSplit(bytes)));
  for (const std::string* line :
       {&parsed.token, &parsed.userName, &parsed.channel, &parsed.notify}) {
    FUZZ_CHECK(line->find('\n') == std::string::npos);
  }

  if (!replaceFile(bytes)) return 0;
  const std::string path = settingsPath();
  SettingsLines read{"unchanged", "unchanged", "unchanged", "unchanged"};
  FUZZ_CHECK(pingwell::readSettingsFile(path, read));
  FUZZ_CHECK(same(read, parsed));

  // What the options panel writes, the next instance reads. A value that
  // ends in a carriage return loses it (the reader takes CR LF as a line
  // end), and a token that begins with a byte-order mark loses that, so
  // those are left out of the round trip.
  const bool writable = [&] {
    if (parsed.token.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0) return false;
    for (const std::string* line :
         {&parsed.token, &parsed.userName, &parsed.channel, &parsed.notify}) {
      if (!line->empty() && line->back() == '\r') return false;
    }
    return true;
  }();
  static const WrittenFolder written;
  if (writable) {
    FUZZ_CHECK(written.made());
    const std::string file = written.file();
    pingwell::SettingsFileWriter writer(file);
    FUZZ_CHECK(writer.isOpen());
    FUZZ_CHECK(writer.writeAndClose(parsed));
    SettingsLines again;
    FUZZ_CHECK(pingwell::readSettingsFile(file, again));
    FUZZ_CHECK(same(again, parsed));
    unlink(file.c_str());
  }
  return 0;
}
