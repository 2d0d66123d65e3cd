#pragma once
// Files for the tests: whole files read and written as bytes, and a fresh
// temporary folder that goes away with everything in it.
#include <string>

namespace pingwell::testing {

// A folder under the system's temporary folder, removed with all it holds.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "pingwell-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readBytes(const std::string& path);                      // empty when missing
void writeBytes(const std::string& path, const std::string& bytes);  // throws when it cannot
bool fileExists(const std::string& path);
unsigned fileMode(const std::string& path);  // permission bits

}  // namespace pingwell::testing
