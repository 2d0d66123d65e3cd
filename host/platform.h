// The little the host needs from the operating system: loading a module,
// finding the program's own folder and making folders.
#ifndef PINGWELL_HOST_PLATFORM_H
#define PINGWELL_HOST_PLATFORM_H

#include <string>
#include <vector>

namespace pingwell_host {

// A loaded dynamic library, unloaded when the object goes.
class LoadedModule {
 public:
  LoadedModule() = default;
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  LoadedModule(LoadedModule&& other) noexcept;
  LoadedModule& operator=(LoadedModule&& other) noexcept;

  // Loads `path`. On failure returns an empty object and sets `error`.
  static LoadedModule open(const std::string& path, std::string& error);

  bool isOpen() const { return handle_ != nullptr; }
  // The address of the exported symbol `name`, or null.
  void* symbol(const char* name) const;

 private:
  void close();
  void* handle_ = nullptr;
};

// The folder that holds the running program, without a trailing separator;
// empty when it cannot be found.
std::string executableFolder();

bool fileExists(const std::string& path);

// Joins a folder and a relative path with the platform's separator.
std::string joinPath(const std::string& folder, const std::string& relative);

// The program's arguments in UTF-8: on Windows from the wide command line,
// which holds every character whatever the code page; elsewhere as given.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Makes `path` (UTF-8) and any missing parents. Returns false and sets
// `error` when it neither exists as a folder nor could be made.
bool makeFolders(const std::string& path, std::string& error);

}  // namespace pingwell_host

#endif
