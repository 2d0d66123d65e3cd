// An instance's scene block kept in a text file, as the host keeps it in a
// scene: every call of a value function is one line, its values separated
// by blanks.
#ifndef PINGWELL_HOST_SCENE_BLOCK_H
#define PINGWELL_HOST_SCENE_BLOCK_H

#include <string>
#include <vector>

#include "plugin/host_api/host_interface.h"

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
  friend struct SaveFunctions;
  HostSaveState state_{};
  std::vector<std::string> lines_;
  int depth_ = 0;
};

// Hands the lines of a file to the module through the load state. Each call
// of a value function takes the next line and returns how many values of
// the asked type it found at its start (at most the count asked for), 0 at
// the end of the block; what it did not find stays as it was in the
// destination.
class SceneBlockReader {
 public:
  SceneBlockReader();
  // Reads `path`; false with `error` set when it cannot be read.
  bool readFile(const std::string& path, std::string& error);
  // The block's lines, as a file holds them; reading starts again at the
  // first.
  void setLines(std::vector<std::string> lines);
  const HostLoadState* state() const { return &state_; }

 private:
  friend struct LoadFunctions;
  // The next line, or null at the end of the block.
  const std::string* takeLine();
  HostLoadState state_{};
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

}  // namespace pingwell_host

#endif
