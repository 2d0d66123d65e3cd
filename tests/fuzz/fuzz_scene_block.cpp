// The scene block reader on arbitrary scene data. The first byte says which
// read functions the host offers (bit 0 clear: floats, bit 1 clear: ints);
// the rest is the block, read 4 bytes a value, and a read past its end gets
// 0 and leaves the destination alone, as the host's reads do.
//
// Properties: the block is the lead float, then render-done, frame-start,
// frame-done, render times, frame messages in a thread, progress in one
// message and the stall alert's minutes; a value of the first three that
// cannot be read leaves its switch as it was, one of the last four is 0;
// whatever was loaded saves and loads back the same, copies whole, and no
// render event of an instance without settings does anything.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "plugin/notifier/notifier.h"
#include "support/instance.h"

namespace {

using pingwell::NotifierInstance;
using pingwell::testing::Instance;
using pingwell::testing::Switches;
using pingwell::testing::switchesOf;

struct Block {
  const uint8_t* data;
  size_t size;
  size_t next = 0;

  template <typename T>
  static int read(void* readData, T* dest, int count) {
    auto& block = *static_cast<Block*>(readData);
    int done = 0;
    while (done < count && block.size - block.next >= sizeof(T)) {
      std::memcpy(dest + done, block.data + block.next, sizeof(T));
      block.next += sizeof(T);
      ++done;
    }
    return done;
  }
};

struct SavedBlock {
  std::vector<uint8_t> bytes;
  template <typename T>
  static void write(void* writeData, const T* source, int count) {
    auto& saved = *static_cast<SavedBlock*>(writeData);
    const auto* first = reinterpret_cast<const uint8_t*>(source);
    saved.bytes.insert(saved.bytes.end(), first, first + sizeof(T) * static_cast<size_t>(count));
  }
};

void load(void* instance, const uint8_t* data, size_t size, bool floats, bool ints) {
  Block block{data, size};
  // Every other function of the state stays NULL: the plug-in calls none.
  HostLoadState state{};
  state.readData = &block;
  state.readFP = floats ? &Block::read<float> : nullptr;
  state.readI4 = ints ? &Block::read<int> : nullptr;
  FUZZ_CHECK(pingwell::notifierLoad(instance, &state) == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool floats = (data[0] & 1) == 0;
  const bool ints = (data[0] & 2) == 0;
  const uint8_t* block = data + 1;
  const size_t blockSize = size - 1;

  Instance loaded;
  FUZZ_CHECK(loaded.handle != nullptr);
  (*loaded).addRenderTimes = 1;
  (*loaded).frameMessagesInThread = 1;
  (*loaded).progressInOneMessage = 1;
  (*loaded).alertMinutes = 30;
  const Switches before = switchesOf(*loaded);
  load(loaded.handle, block, blockSize, floats, ints);

  // What the block should have given.
  Switches expected = before;
  size_t at = floats && blockSize >= 4 ? 4 : 0;
  for (int32_t* field : {&expected.renderDone, &expected.frameStart, &expected.frameDone}) {
    if (ints && blockSize - at >= 4) {
      std::memcpy(field, block + at, 4);
      at += 4;
    }
  }
  for (int32_t* field : {&expected.renderTimes, &expected.thread, &expected.progress}) {
    *field = 0;
    if (ints && blockSize - at >= 4) {
      std::memcpy(field, block + at, 4);
      at += 4;
    }
  }
  int32_t expectedAlert = 0;
  if (ints && blockSize - at >= 4) std::memcpy(&expectedAlert, block + at, 4);
  FUZZ_CHECK(switchesOf(*loaded) == expected);
  FUZZ_CHECK((*loaded).alertMinutes == expectedAlert);

  // Save, load into a fresh instance: the same switches.
  SavedBlock saved;
  HostSaveState saveState{};
  saveState.writeData = &saved;
  saveState.writeFP = &SavedBlock::write<float>;
  saveState.writeI4 = &SavedBlock::write<int>;
  FUZZ_CHECK(pingwell::notifierSave(loaded.handle, &saveState) == nullptr);
  FUZZ_CHECK(saved.bytes.size() == 32);
  Instance reloaded;
  load(reloaded.handle, saved.bytes.data(), saved.bytes.size(), true, true);
  FUZZ_CHECK(switchesOf(*reloaded) == expected);
  FUZZ_CHECK((*reloaded).alertMinutes == expectedAlert);

  Instance copy;
  FUZZ_CHECK(pingwell::notifierCopy(copy.handle, loaded.handle) == nullptr);
  FUZZ_CHECK(switchesOf(*copy) == expected);
  FUZZ_CHECK((*copy).alertMinutes == expectedAlert);

  // No settings, so no render event may do anything, whatever the switches.
  for (int32_t code :
       {HOST_EVENT_FRAME_STARTED, HOST_EVENT_FRAME_DONE, HOST_EVENT_RENDER_DONE, 0, -1}) {
    const HostMasterAccess access{code, nullptr, nullptr, nullptr, nullptr, nullptr};
    (void)pingwell::notifierEvent(loaded.handle, &access);
  }
  return 0;
}
