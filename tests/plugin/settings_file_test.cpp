// The settings file on disk: how it is read, where it lives, who may read it.
#include "plugin/notifier/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <set>
#include <string>

#include "fake_host.h"
#include "plugin/notifier/notifier.h"

namespace pingwell {
namespace {

using testing::fileMode;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

std::set<std::string> namesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Lets this process make no file larger than `bytes`, with SIGXFSZ ignored
// so that a write past the limit fails instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &oldAction_);
    struct rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::sigaction(SIGXFSZ, &oldAction_, nullptr);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  struct rlimit old_ {};
  struct sigaction oldAction_ {};
};

struct Reading {
  const char* what;
  std::string bytes;
  std::string token, userName, channel, notify;
};

TEST(SettingsFile, LineEndsOfEitherKindReadTheSame) {
  const std::string longToken(5000, 'x');
  const Reading cases[] = {
      {"LF", "xoxb-1\nRender Bot\n#renders\n", "xoxb-1", "Render Bot", "#renders", ""},
      {"CR LF", "xoxb-1\r\nRender Bot\r\n#renders\r\n", "xoxb-1", "Render Bot", "#renders", ""},
      {"mixed", "xoxb-1\r\nRender Bot\n#renders\r\n", "xoxb-1", "Render Bot", "#renders", ""},
      {"no final line end", "xoxb-1\r\nRender Bot\r\n#renders", "xoxb-1", "Render Bot",
       "#renders", ""},
      {"two lines", "xoxb-1\r\nRender Bot\r\n", "xoxb-1", "Render Bot", "", ""},
      {"empty", "", "", "", "", ""},
      {"empty lines", "\r\n\n\r\n", "", "", "", ""},
      {"four lines: Notify", "a\r\nb\r\nc\r\nU0ANNA0001, @here\r\n", "a", "b", "c",
       "U0ANNA0001, @here"},
      {"more than four lines", "a\nb\nc\nd\ne\n", "a", "b", "c", "d"},
      {"a fourth line longer than Notify can be", "a\nb\nc\n" + std::string(1024, 'n') + "\n",
       "a", "b", "c", ""},
      {"the longest Notify", "a\nb\nc\n" + std::string(1023, 'n') + "\r\n", "a", "b", "c",
       std::string(1023, 'n')},
      {"carriage return inside a line", "a\rb\nc\n\n", "a\rb", "c", "", ""},
      {"long line", longToken + "\r\nn\r\nc\r\n", longToken, "n", "c", ""},
      {"other bytes", "t\xC3\xA9\nna me\n\t#c\x01\n", "t\xC3\xA9", "na me", "\t#c\x01", ""},
  };
  TempFolder folder;
  for (const Reading& reading : cases) {
    SCOPED_TRACE(reading.what);
    const std::string path = settingsFilePath(folder.path().c_str());
    writeBytes(path, reading.bytes);
    SettingsLines lines{"old", "old", "old", "old"};
    ASSERT_TRUE(readSettingsFile(path, lines));
    EXPECT_EQ(lines.token, reading.token);
    EXPECT_EQ(lines.userName, reading.userName);
    EXPECT_EQ(lines.channel, reading.channel);
    EXPECT_EQ(lines.notify, reading.notify);
  }
}

TEST(SettingsFile, LivesInTheSettingsFolderAndNowhereElse) {
  EXPECT_EQ(settingsFilePath("/home/u/Settings"), "/home/u/Settings/slacktoken.txt");
  // No folder must not mean the root of the file system.
  EXPECT_EQ(settingsFilePath(""), "");
  EXPECT_EQ(settingsFilePath(nullptr), "");
  SettingsLines lines{"kept", "kept", "kept", "kept"};
  EXPECT_FALSE(readSettingsFile("", lines));
  TempFolder folder;
  EXPECT_FALSE(readSettingsFile(folder.file("missing.txt"), lines));
  EXPECT_FALSE(readSettingsFile(folder.path(), lines));  // a folder is no file
  EXPECT_EQ(lines.token, "kept");
}

TEST(SettingsFile, WrittenFileIsPrivateToItsOwner) {
  TempFolder folder;
  const std::string fresh = folder.file("fresh.txt");
  {
    SettingsFileWriter writer(fresh);
    ASSERT_TRUE(writer.isOpen());
    EXPECT_TRUE(writer.writeAndClose({"xoxb-secret", "Render Bot", "#renders", ""}));
  }
  EXPECT_EQ(readBytes(fresh), "xoxb-secret\nRender Bot\n#renders\n");
  EXPECT_EQ(fileMode(fresh), 0600u);

  // An older file that others could read is narrowed, and shortened.
  const std::string older = folder.file("older.txt");
  writeBytes(older, "a much longer old token\nold name\nold channel\nextra\n");
  ::chmod(older.c_str(), 0664);
  {
    SettingsFileWriter writer(older);
    ASSERT_TRUE(writer.isOpen());
    EXPECT_TRUE(writer.writeAndClose({"t", "", "c", ""}));
  }
  EXPECT_EQ(readBytes(older), "t\n\nc\n");  // no "Notify": three lines, as ever
  EXPECT_EQ(fileMode(older), 0600u);

  // Through a symbolic link the file it points to is replaced; the link stays.
  const std::string link = folder.file("link.txt");
  ASSERT_EQ(::symlink("older.txt", link.c_str()), 0);
  {
    SettingsFileWriter writer(link);
    ASSERT_TRUE(writer.isOpen());
    EXPECT_TRUE(writer.writeAndClose({"l", "n", "c", "@here"}));
  }
  struct stat info {};
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(readBytes(older), "l\nn\nc\n@here\n");
}

TEST(SettingsFile, FailedOrAbandonedWriteKeepsTheOldFile) {
  TempFolder folder;
  const std::string path = folder.file("slacktoken.txt");
  const std::string old = "xoxb-old\nOld Bot\n#old\n";
  writeBytes(path, old);
  const std::set<std::string> before = namesIn(folder.path());
  {
    SettingsFileWriter writer(path);
    ASSERT_TRUE(writer.isOpen());
  }
  EXPECT_EQ(readBytes(path), old);
  EXPECT_EQ(namesIn(folder.path()), before);

  bool written = true;
  {
    SettingsFileWriter writer(path);
    ASSERT_TRUE(writer.isOpen());
    const FileSizeLimit limit(8);
    written = writer.writeAndClose({std::string(64, 't'), "New Bot", "#new", ""});
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(readBytes(path), old);
  EXPECT_EQ(namesIn(folder.path()), before);
}

TEST(SettingsFile, FifoInItsPlaceNeverHangsTheHost) {
  testing::FakeHost host;
  host.keepServices();
  ASSERT_EQ(::mkfifo(host.settingsPath().c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  void* instance = notifierCreate(nullptr, nullptr, nullptr);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(static_cast<NotifierInstance*>(instance)->token, "");
  notifierDestroy(instance);
  SettingsFileWriter writer(host.settingsPath());
  EXPECT_FALSE(writer.isOpen());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace pingwell
