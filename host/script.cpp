#include "script.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace pingwell_host {

std::vector<std::string> splitWords(const std::string& text, int lineNumber) {
  std::string line = text;
  if (!line.empty() && line.back() == '\r') line.pop_back();

  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool inQuotes = false;
  for (char c : line) {
    if (inQuotes) {
      if (c == '"')
        inQuotes = false;
      else
        word += c;
    } else if (c == '"') {
      inQuotes = true;
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      if (!inWord && words.empty() && c == '#') return {};
      word += c;
      inWord = true;
    }
  }
  if (inQuotes) throw ScriptError(lineNumber, "double quote not closed");
  if (inWord) words.push_back(word);
  return words;
}

std::optional<ScriptLine> ScriptReader::next() {
  std::string text;
  if (!std::getline(in_, text)) return std::nullopt;
  ScriptLine line;
  line.number = ++number_;
  line.words = splitWords(text, line.number);
  return line;
}

int32_t parseInt32(const std::string& word, const char* what, int lineNumber) {
  const char* begin = word.c_str();
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(begin, &end, 10);
  bool whole = !word.empty() && end == begin + word.size() && word[0] != ' ' && word[0] != '\t';
  if (!whole || errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max())
    throw ScriptError(lineNumber, std::string(what) + " is not a 32-bit integer: " + word);
  return static_cast<int32_t>(value);
}

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

}  // namespace pingwell_host
