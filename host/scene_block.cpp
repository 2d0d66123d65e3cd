#include "scene_block.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>

namespace pingwell_host {

namespace {

std::string trimmed(const std::string& s) {
  const char* blanks = " \t\r\n";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

bool parseFloat(const std::string& text, float& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  float value = std::strtof(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno == ERANGE) return false;
  out = value;
  return true;
}

bool parseInt(const std::string& text, int32_t& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || errno == ERANGE ||
      value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    return false;
  out = static_cast<int32_t>(value);
  return true;
}

}  // namespace

SceneBlockWriter::SceneBlockWriter() {
  state_.writeData = this;
  state_.writeFloats = &SceneBlockWriter::writeFloats;
  state_.writeInts = &SceneBlockWriter::writeInts;
}

void SceneBlockWriter::writeFloats(void* data, const float* source, int count) {
  auto* self = static_cast<SceneBlockWriter*>(data);
  if (!self || !source) return;
  for (int i = 0; i < count; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(source[i]));
    self->lines_.emplace_back(text);
  }
}

void SceneBlockWriter::writeInts(void* data, const int32_t* source, int count) {
  auto* self = static_cast<SceneBlockWriter*>(data);
  if (!self || !source) return;
  for (int i = 0; i < count; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId32, source[i]);
    self->lines_.emplace_back(text);
  }
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
  state_.readData = this;
  state_.readFloats = &SceneBlockReader::readFloats;
  state_.readInts = &SceneBlockReader::readInts;
}

bool SceneBlockReader::readFile(const std::string& path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  lines_.clear();
  next_ = 0;
  std::string line;
  while (std::getline(in, line)) lines_.push_back(trimmed(line));
  if (in.bad()) {
    error = "cannot read " + path;
    return false;
  }
  // Blank lines at the end are no values.
  while (!lines_.empty() && lines_.back().empty()) lines_.pop_back();
  return true;
}

int SceneBlockReader::readFloats(void* data, float* dest, int count) {
  auto* self = static_cast<SceneBlockReader*>(data);
  if (!self || !dest) return 0;
  int done = 0;
  while (done < count && self->next_ < self->lines_.size()) {
    float value = 0;
    if (!parseFloat(self->lines_[self->next_], value)) break;
    dest[done++] = value;
    ++self->next_;
  }
  return done;
}

int SceneBlockReader::readInts(void* data, int32_t* dest, int count) {
  auto* self = static_cast<SceneBlockReader*>(data);
  if (!self || !dest) return 0;
  int done = 0;
  while (done < count && self->next_ < self->lines_.size()) {
    int32_t value = 0;
    if (!parseInt(self->lines_[self->next_], value)) break;
    dest[done++] = value;
    ++self->next_;
  }
  return done;
}

}  // namespace pingwell_host
