// An instance's scene block kept in a text file: one value a line, in the
// order written.
#ifndef PINGWELL_HOST_SCENE_BLOCK_H
#define PINGWELL_HOST_SCENE_BLOCK_H

#include <string>
#include <vector>

#include "plugin/host_interface.h"

namespace pingwell_host {

// Collects what the module writes through the save state.
class SceneBlockWriter {
 public:
  SceneBlockWriter();
  const HostSaveState* state() const { return &state_; }
  // Floats as %.9g (enough to read the same float back), integers in decimal.
  const std::vector<std::string>& lines() const { return lines_; }
  // Writes the lines to `path`; false with `error` set when that fails.
  bool writeFile(const std::string& path, std::string& error) const;

 private:
  static void writeFloats(void* data, const float* source, int count);
  static void writeInts(void* data, const int32_t* source, int count);
  HostSaveState state_{};
  std::vector<std::string> lines_;
};

// Hands the lines of a file to the module through the load state. A read
// past the last line, or of a line that is not a value of the asked type,
// fails: it returns the count read so far and leaves the rest of the
// destination as it was.
class SceneBlockReader {
 public:
  SceneBlockReader();
  // Reads `path`; false with `error` set when it cannot be read.
  bool readFile(const std::string& path, std::string& error);
  const HostLoadState* state() const { return &state_; }

 private:
  static int readFloats(void* data, float* dest, int count);
  static int readInts(void* data, int32_t* dest, int count);
  HostLoadState state_{};
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

}  // namespace pingwell_host

#endif
