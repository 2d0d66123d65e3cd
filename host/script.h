// Reading the host's script: one command a line, split into words.
#ifndef PINGWELL_HOST_SCRIPT_H
#define PINGWELL_HOST_SCRIPT_H

#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pingwell_host {

// A line the host cannot run. `line` is the script line (0 before the script
// starts: module, start-up); what() is the reason without the line prefix.
class ScriptError : public std::runtime_error {
 public:
  ScriptError(int line, const std::string& reason) : std::runtime_error(reason), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

// One command of the script with its line number. `words` is empty for a
// blank or comment line.
struct ScriptLine {
  int number = 0;
  std::vector<std::string> words;
};

// Splits one line into words. Words are separated by blanks and tabs; a
// double-quoted part keeps its blanks and may stand anywhere in a word
// (name="Render Bot" gives name=Render Bot; "" gives an empty word). A
// backslash is an ordinary character. A trailing CR is ignored. A line whose
// first non-blank character is # is a comment and gives no words. Throws
// ScriptError for a quote that is not closed.
std::vector<std::string> splitWords(const std::string& text, int lineNumber);

// Reads the script line by line, so that a script on a terminal runs as it
// is typed.
class ScriptReader {
 public:
  explicit ScriptReader(std::istream& in) : in_(in) {}
  // The next line, or nothing at the end of the script.
  std::optional<ScriptLine> next();

 private:
  std::istream& in_;
  int number_ = 0;
};

// Strict number parsing for command arguments: the whole word must be a
// decimal integer that fits. Throw ScriptError naming `what`.
int32_t parseInt32(const std::string& word, const char* what, int lineNumber);

// `text` without the blanks, tabs, CRs and line feeds at either end.
std::string trimmed(const std::string& text);

}  // namespace pingwell_host

#endif
