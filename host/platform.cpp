#include "platform.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
// windows.h first: shellapi.h needs what it defines.
#include <windows.h>
#include <shellapi.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace pingwell_host {

LoadedModule::~LoadedModule() { close(); }

LoadedModule::LoadedModule(LoadedModule&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

LoadedModule& LoadedModule::operator=(LoadedModule&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

LoadedModule LoadedModule::open(const std::string& path, std::string& error) {
  LoadedModule module;
  // An absolute path keeps the loader from searching its own list of
  // folders for a bare file name.
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  std::string full = ec ? path : absolute.string();
#ifdef _WIN32
  module.handle_ = reinterpret_cast<void*>(LoadLibraryA(full.c_str()));
  if (!module.handle_) {
    DWORD code = GetLastError();
    char text[512] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' '))
      text[--n] = '\0';
    error = "error " + std::to_string(code) + (n > 0 ? std::string(": ") + text : std::string());
    if (code == ERROR_MOD_NOT_FOUND)
      error += " (the module, or a DLL it needs, is not where Windows looks)";
  }
#else
  module.handle_ = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module.handle_) {
    const char* why = dlerror();
    error = why ? why : "cannot load module";
  }
#endif
  return module;
}

void* LoadedModule::symbol(const char* name) const {
  if (!handle_) return nullptr;
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

void LoadedModule::close() {
  if (!handle_) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
  handle_ = nullptr;
}

std::string executableFolder() {
  std::string exe;
#ifdef _WIN32
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      exe.assign(buf.data(), n);
      break;
    }
    if (buf.size() >= 32768) return {};
    buf.resize(buf.size() * 2);
  }
#else
  std::error_code ec;
  fs::path link = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  exe = link.string();
#endif
  return fs::path(exe).parent_path().string();
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::path(path), ec);
}

std::string joinPath(const std::string& folder, const std::string& relative) {
  return (fs::path(folder) / fs::path(relative)).lexically_normal().string();
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
#ifdef _WIN32
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  if (count == argc) {
    for (int i = 0; i < count; ++i) {
      const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      if (size <= 0) continue;
      std::string text(static_cast<size_t>(size), '\0');
      if (WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), size, nullptr, nullptr) ==
          size) {
        text.pop_back();  // the terminating zero
        arguments[static_cast<size_t>(i)] = std::move(text);
      }
    }
  }
  LocalFree(wide);
#endif
  return arguments;
}

bool makeFolders(const std::string& path, std::string& error) {
  std::error_code ec;
  const fs::path folder = fs::u8path(path);
  if (fs::is_directory(folder, ec)) return true;
  fs::create_directories(folder, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  if (!fs::is_directory(folder, ec)) {
    error = "not a folder";
    return false;
  }
  return true;
}

}  // namespace pingwell_host
