#include "scene_block.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <type_traits>
#include <utility>

#include "script.h"

namespace pingwell_host {

namespace {

// One value of type T from a whole word; false when the word is not one.
template <typename T>
bool parseWord(const std::string& word, T& out) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  if constexpr (std::is_floating_point_v<T>) {
    const double value = std::strtod(word.c_str(), &end);
    if (end != word.c_str() + word.size() || errno == ERANGE) return false;
    if (std::is_same_v<T, float> && value == value &&
        (value > std::numeric_limits<float>::max() || value < -std::numeric_limits<float>::max()))
      return false;
    out = static_cast<T>(value);
  } else {
    const long long value = std::strtoll(word.c_str(), &end, 10);
    if (end != word.c_str() + word.size() || errno == ERANGE ||
        value < static_cast<long long>(std::numeric_limits<T>::min()) ||
        value > static_cast<long long>(std::numeric_limits<T>::max()))
      return false;
    out = static_cast<T>(value);
  }
  return true;
}

template <typename T>
std::string formatValue(T value) {
  char text[64];
  if constexpr (std::is_floating_point_v<T>)
    std::snprintf(text, sizeof text, std::is_same_v<T, float> ? "%.9g" : "%.17g",
                  static_cast<double>(value));
  else
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
  return text;
}

}  // namespace

// The save state's functions: each call is one line.
struct SaveFunctions {
  static SceneBlockWriter& of(void* data) { return *static_cast<SceneBlockWriter*>(data); }

  template <typename T>
  static void values(void* data, const T* source, int count) {
    if (data == nullptr || source == nullptr || count < 0) return;
    std::string line;
    for (int i = 0; i < count; ++i) line += (i ? " " : "") + formatValue(source[i]);
    of(data).lines_.push_back(line);
  }
  static void raw(void* data, const char* source, int length) {
    if (data == nullptr || source == nullptr || length < 0) return;
    of(data).lines_.emplace_back(source, static_cast<size_t>(length));
  }
  static void text(void* data, const char* text) {
    if (data == nullptr || text == nullptr) return;
    of(data).lines_.push_back("\"" + std::string(text) + "\"");
  }
  static void id(void* data, const HostBlockIdent* ident) {
    if (data == nullptr || ident == nullptr || ident->token == nullptr) return;
    of(data).lines_.emplace_back(ident->token);
  }
  static void beginBlock(void* data, const HostBlockIdent* ident, int /*leaf*/) {
    if (data == nullptr || ident == nullptr || ident->token == nullptr) return;
    of(data).lines_.push_back(std::string("{ ") + ident->token);
    ++of(data).depth_;
  }
  static void endBlock(void* data) {
    if (data == nullptr || of(data).depth_ == 0) return;
    of(data).lines_.emplace_back("}");
    --of(data).depth_;
  }
  static int depth(void* data) { return data == nullptr ? 0 : of(data).depth_; }
};

// The load state's functions: each call takes the next line.
struct LoadFunctions {
  static SceneBlockReader& of(void* data) { return *static_cast<SceneBlockReader*>(data); }

  template <typename T>
  static int values(void* data, T* dest, int count) {
    if (data == nullptr || dest == nullptr || count <= 0) return 0;
    const std::string* line = of(data).takeLine();
    if (line == nullptr) return 0;
    std::istringstream words(*line);
    std::string word;
    int found = 0;
    while (found < count && words >> word) {
      T value{};
      if (!parseWord(word, value)) break;
      dest[found++] = value;
    }
    return found;
  }
  // Raw bytes and text: the line, cut to fit.
  static int raw(void* data, char* dest, int length) {
    if (data == nullptr || dest == nullptr || length <= 0) return 0;
    const std::string* line = of(data).takeLine();
    if (line == nullptr) return 0;
    const size_t n = std::min(line->size(), static_cast<size_t>(length));
    std::memcpy(dest, line->data(), n);
    return static_cast<int>(n);
  }
  static int text(void* data, char* dest, int maximum) {
    if (data == nullptr || dest == nullptr || maximum <= 0) return 0;
    const std::string* line = of(data).takeLine();
    if (line == nullptr) return 0;
    std::string value = *line;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    const size_t n = std::min(value.size(), static_cast<size_t>(maximum) - 1);
    std::memcpy(dest, value.data(), n);
    dest[n] = '\0';
    return static_cast<int>(n);
  }
  // The blocks of this file format have no identifiers.
  static HostBlockId id(void* /*data*/, const HostBlockIdent* /*ids*/) { return 0; }
  static void endBlock(void* /*data*/) {}
  static int depth(void* /*data*/) { return 0; }
};

SceneBlockWriter::SceneBlockWriter() {
  state_.ioMode = HOST_IO_SCENE;
  state_.writeData = this;
  state_.write = &SaveFunctions::raw;
  state_.writeI1 = &SaveFunctions::values<char>;
  state_.writeI2 = &SaveFunctions::values<short>;
  state_.writeI4 = &SaveFunctions::values<int>;
  state_.writeU1 = &SaveFunctions::values<unsigned char>;
  state_.writeU2 = &SaveFunctions::values<unsigned short>;
  state_.writeU4 = &SaveFunctions::values<unsigned int>;
  state_.writeFP = &SaveFunctions::values<float>;
  state_.writeStr = &SaveFunctions::text;
  state_.writeID = &SaveFunctions::id;
  state_.beginBlk = &SaveFunctions::beginBlock;
  state_.endBlk = &SaveFunctions::endBlock;
  state_.depth = &SaveFunctions::depth;
  state_.writeDP = &SaveFunctions::values<double>;
}

bool SceneBlockWriter::writeFile(const std::string& path, std::string& error) const {
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  if (!out) {
    error = "cannot write " + path;
    return false;
  }
  for (const std::string& line : lines_) out << line << '\n';
  out.close();
  if (!out) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

SceneBlockReader::SceneBlockReader() {
  state_.ioMode = HOST_IO_SCENE;
  state_.readData = this;
  state_.read = &LoadFunctions::raw;
  state_.readI1 = &LoadFunctions::values<char>;
  state_.readI2 = &LoadFunctions::values<short>;
  state_.readI4 = &LoadFunctions::values<int>;
  state_.readU1 = &LoadFunctions::values<unsigned char>;
  state_.readU2 = &LoadFunctions::values<unsigned short>;
  state_.readU4 = &LoadFunctions::values<unsigned int>;
  state_.readFP = &LoadFunctions::values<float>;
  state_.readStr = &LoadFunctions::text;
  state_.readID = &LoadFunctions::id;
  state_.findBlk = &LoadFunctions::id;
  state_.endBlk = &LoadFunctions::endBlock;
  state_.depth = &LoadFunctions::depth;
  state_.readDP = &LoadFunctions::values<double>;
}

bool SceneBlockReader::readFile(const std::string& path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  if (in.bad()) {
    error = "cannot read " + path;
    return false;
  }
  setLines(std::move(lines));
  return true;
}

void SceneBlockReader::setLines(std::vector<std::string> lines) {
  lines_ = std::move(lines);
  for (std::string& line : lines_) line = trimmed(line);
  // Blank lines at the end are no values.
  while (!lines_.empty() && lines_.back().empty()) lines_.pop_back();
  next_ = 0;
}

const std::string* SceneBlockReader::takeLine() {
  if (next_ >= lines_.size()) return nullptr;
  return &lines_[next_++];
}

}  // namespace pingwell_host
