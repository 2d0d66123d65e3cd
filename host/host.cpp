#include "host.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "image_filter.h"
#include "panel.h"
#include "scene_block.h"
#include "standin_services.h"

namespace pingwell_host {

namespace {

constexpr int kHostVersion = 4;
// The exit status of a `crash` line.
constexpr int kCrashStatus = 3;
// The module's image filter that `filter add` applies.
constexpr const char* kFilterServer = "voro2_slack_preview";
// A server table longer than this has lost its closing entry.
constexpr int kMaxServers = 256;

// One line on standard output, flushed at once so that it keeps its place
// among what the module writes.
void say(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void expectWords(const std::vector<std::string>& w, size_t count, const char* usage, int line) {
  if (w.size() != count) throw ScriptError(line, std::string("usage: ") + usage);
}

// `d` in milliseconds with three decimals: "12.345".
std::string milliseconds(std::chrono::steady_clock::duration d) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", std::chrono::duration<double, std::milli>(d).count());
  return text;
}

// Longest a frame may be held for: ten minutes.
constexpr int32_t kMaxSleepMs = 600000;

std::string hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIx32, value);
  return text;
}

}  // namespace

Host::Host(const std::string& modulePath) {
  std::string error;
  module_ = LoadedModule::open(modulePath, error);
  if (!module_.isOpen()) throw ScriptError(0, "cannot open module " + modulePath + ": " + error);

  descriptor_ = static_cast<const HostModuleDescriptor*>(module_.symbol("_mod_descrip"));
  if (!descriptor_) throw ScriptError(0, modulePath + " exports no _mod_descrip");
  if (descriptor_->magic != HOST_MODULE_MAGIC)
    throw ScriptError(0, modulePath + ": bad module magic " + hex32(descriptor_->magic));
  if (!descriptor_->startup) throw ScriptError(0, modulePath + ": no start-up function");
  if (!descriptor_->servers) throw ScriptError(0, modulePath + ": no server table");

  for (int i = 0;; ++i) {
    if (i == kMaxServers) throw ScriptError(0, modulePath + ": server table has no end");
    const HostServerRecord& server = descriptor_->servers[i];
    if (!server.className) break;
    if (std::strcmp(server.className, "MasterHandler") == 0 && !activateHandler_)
      activateHandler_ = server.activate;
    if (std::strcmp(server.className, "MasterInterface") == 0 && !activateInterface_)
      activateInterface_ = server.activate;
    if (std::strcmp(server.className, HOST_IMAGE_FILTER_CLASS) == 0 && server.serverName &&
        std::strcmp(server.serverName, kFilterServer) == 0 && !activateFilter_)
      activateFilter_ = server.activate;
  }
  if (!activateHandler_) throw ScriptError(0, modulePath + ": no MasterHandler server");

  serverData_ = descriptor_->startup();
  if (!serverData_) throw ScriptError(0, modulePath + ": module start-up refused");

  int result = activateHandler(kHostVersion);
  if (result != 0) {
    if (descriptor_->shutdown) descriptor_->shutdown(serverData_);
    throw ScriptError(0,
                      "MasterHandler activation with version 4 failed: " + std::to_string(result));
  }
}

Host::~Host() {
  removeFilter();
  for (Instance& instance : instances_)
    if (instance.funcs.destroy) instance.funcs.destroy(instance.handle);
  instances_.clear();
  if (descriptor_ && descriptor_->shutdown && serverData_) descriptor_->shutdown(serverData_);
}

int Host::activateHandler(int version) {
  HostInstanceFuncs funcs{};
  HostMasterHandler record{};
  record.instanceFuncs = &funcs;
  record.itemFuncs = &itemFuncs_;
  int result = activateHandler_(version, &StandInServices::lookup, &record, serverData_);
  if (result == 0) {
    instanceFuncs_ = record.instanceFuncs ? *record.instanceFuncs : funcs;
    handler_ = record;
    handler_.instanceFuncs = &instanceFuncs_;
    handlerActive_ = true;
  }
  return result;
}

void Host::run(const ScriptLine& line) {
  const std::vector<std::string>& w = line.words;
  if (w.empty()) return;
  const std::string& cmd = w[0];
  int n = line.number;
  if (cmd == "activate")
    cmdActivate(w, n);
  else if (cmd == "create")
    cmdCreate(w, n);
  else if (cmd == "destroy")
    cmdDestroy(w, n);
  else if (cmd == "copy")
    cmdCopy(w, n);
  else if (cmd == "save")
    cmdSave(w, n);
  else if (cmd == "load")
    cmdLoad(w, n);
  else if (cmd == "describe")
    cmdDescribe(w, n);
  else if (cmd == "scene")
    cmdScene(w, n);
  else if (cmd == "frame")
    cmdFrame(w, n);
  else if (cmd == "event")
    cmdEvent(w, n);
  else if (cmd == "render")
    cmdRender(w, n);
  else if (cmd == "options")
    cmdOptions(w, n);
  else if (cmd == "filter")
    cmdFilter(w, n);
  else if (cmd == "colorspace")
    cmdColorSpace(w, n);
  else if (cmd == "crash")
    cmdCrash(w, n);
  else
    throw ScriptError(n, "unknown command: " + cmd);
}

Host::Instance& Host::find(const std::string& name, int line) {
  for (Instance& instance : instances_)
    if (instance.name == name) return instance;
  throw ScriptError(line, "no instance named " + name);
}

std::chrono::steady_clock::duration Host::deliver(Instance& instance, int32_t code, int line) {
  if (!instance.event) throw ScriptError(line, "the handler has no event function");
  HostMasterAccess access{};
  access.eventCode = code;
  access.eventData = nullptr;
  const auto start = std::chrono::steady_clock::now();
  instance.event(instance.handle, &access);
  return std::chrono::steady_clock::now() - start;
}

void Host::cmdActivate(const std::vector<std::string>& w, int line) {
  expectWords(w, 3, "activate handler VERSION", line);
  if (w[1] != "handler") throw ScriptError(line, "only the handler can be activated: " + w[1]);
  int version = parseInt32(w[2], "the version", line);
  say("MasterHandler: " + std::to_string(activateHandler(version)));
}

void Host::cmdCreate(const std::vector<std::string>& w, int line) {
  expectWords(w, 2, "create NAME", line);
  const std::string& name = w[1];
  for (const Instance& instance : instances_)
    if (instance.name == name) throw ScriptError(line, "instance " + name + " exists already");
  if (!handlerActive_ || !instanceFuncs_.create)
    throw ScriptError(line, "the handler has no create function");
  const char* error = nullptr;
  void* handle = instanceFuncs_.create(instanceFuncs_.priv, nullptr, &error);
  if (!handle) {
    say("create " + name + ": failed");
    return;
  }
  Instance instance;
  instance.name = name;
  instance.handle = handle;
  instance.funcs = instanceFuncs_;
  instance.event = handler_.event;
  instances_.push_back(instance);
}

void Host::cmdDestroy(const std::vector<std::string>& w, int line) {
  expectWords(w, 2, "destroy NAME", line);
  Instance& instance = find(w[1], line);
  if (instance.funcs.destroy) instance.funcs.destroy(instance.handle);
  instances_.erase(instances_.begin() + (&instance - instances_.data()));
}

void Host::cmdCopy(const std::vector<std::string>& w, int line) {
  expectWords(w, 3, "copy TO FROM", line);
  Instance& to = find(w[1], line);
  Instance& from = find(w[2], line);
  if (&to == &from) throw ScriptError(line, "cannot copy " + w[1] + " onto itself");
  if (!to.funcs.copy) throw ScriptError(line, "the handler has no copy function");
  if (const char* error = to.funcs.copy(to.handle, from.handle))
    throw ScriptError(line, "copy failed: " + std::string(error));
}

void Host::cmdSave(const std::vector<std::string>& w, int line) {
  expectWords(w, 3, "save NAME FILE", line);
  Instance& instance = find(w[1], line);
  if (!instance.funcs.save) throw ScriptError(line, "the handler has no save function");
  SceneBlockWriter writer;
  if (const char* error = instance.funcs.save(instance.handle, writer.state()))
    throw ScriptError(line, "save failed: " + std::string(error));
  std::string error;
  if (!writer.writeFile(w[2], error)) throw ScriptError(line, error);
}

void Host::cmdLoad(const std::vector<std::string>& w, int line) {
  expectWords(w, 3, "load NAME FILE", line);
  Instance& instance = find(w[1], line);
  if (!instance.funcs.load) throw ScriptError(line, "the handler has no load function");
  SceneBlockReader reader;
  std::string error;
  if (!reader.readFile(w[2], error)) throw ScriptError(line, error);
  if (const char* failure = instance.funcs.load(instance.handle, reader.state()))
    throw ScriptError(line, "load failed: " + std::string(failure));
}

void Host::cmdDescribe(const std::vector<std::string>& w, int line) {
  expectWords(w, 2, "describe NAME", line);
  Instance& instance = find(w[1], line);
  if (!instance.funcs.describe) throw ScriptError(line, "the handler has no describe function");
  const char* text = instance.funcs.describe(instance.handle);
  say(text ? text : "");
}

void Host::cmdScene(const std::vector<std::string>& w, int line) {
  expectWords(w, 2, "scene FILE, or scene - for an unsaved scene", line);
  StandInServices::get().setSceneFile(w[1] == "-" ? std::nullopt
                                                  : std::optional<std::string>(w[1]));
}

void Host::cmdFrame(const std::vector<std::string>& w, int line) {
  expectWords(w, 2, "frame N", line);
  StandInServices::get().setFrame(parseInt32(w[1], "the frame", line));
}

void Host::cmdEvent(const std::vector<std::string>& w, int line) {
  expectWords(w, 3, "event NAME CODE", line);
  Instance& instance = find(w[1], line);
  const auto took = deliver(instance, parseInt32(w[2], "the event code", line), line);
  if (showTimes_) say("event " + w[1] + " " + w[2] + ": " + milliseconds(took) + " ms");
}

void Host::cmdRender(const std::vector<std::string>& w, int line) {
  static const char* const kUsage =
      "render FIRST LAST [step=S] [abort=N] [sleep=MS] [slow=FRAME:MS] [size=WxH]";
  if (w.size() < 3 || w.size() > 8) throw ScriptError(line, std::string("usage: ") + kUsage);
  const int32_t first = parseInt32(w[1], "the first frame", line);
  const int32_t last = parseInt32(w[2], "the last frame", line);
  if (first > last) throw ScriptError(line, "the first frame comes after the last");
  int32_t step = 1;
  std::optional<int32_t> abortAt;
  int32_t sleepMs = 0;
  // One frame that takes longer than the others (slow=FRAME:MS).
  std::optional<int32_t> slowFrame;
  int32_t slowMs = 0;
  FrameSize size;
  for (size_t i = 3; i < w.size(); ++i) {
    const std::string& word = w[i];
    if (word.rfind("step=", 0) == 0) {
      step = parseInt32(word.substr(5), "the step", line);
      if (step < 1) throw ScriptError(line, "the step must be at least 1");
    } else if (word.rfind("abort=", 0) == 0) {
      abortAt = parseInt32(word.substr(6), "the frame of the abort", line);
      if (*abortAt < first || *abortAt > last)
        throw ScriptError(line, "the abort must come at a frame of the render");
    } else if (word.rfind("sleep=", 0) == 0) {
      sleepMs = parseInt32(word.substr(6), "the sleep", line);
      if (sleepMs < 0 || sleepMs > kMaxSleepMs)
        throw ScriptError(
            line, "the sleep must be 0 to " + std::to_string(kMaxSleepMs) + " milliseconds");
    } else if (word.rfind("slow=", 0) == 0 && word.find(':') != std::string::npos) {
      const size_t colon = word.find(':');
      slowFrame = parseInt32(word.substr(5, colon - 5), "the slow frame", line);
      slowMs = parseInt32(word.substr(colon + 1), "the slow frame's sleep", line);
      if (slowMs < 0 || slowMs > kMaxSleepMs)
        throw ScriptError(
            line, "the sleep must be 0 to " + std::to_string(kMaxSleepMs) + " milliseconds");
    } else if (word.rfind("size=", 0) == 0) {
      size = parseFrameSize(word.substr(5), line);
    } else {
      throw ScriptError(line, std::string("usage: ") + kUsage);
    }
  }
  StandInServices& services = StandInServices::get();
  // As the host does: the scene's range is the one rendered, and the
  // sequence is announced before its first frame.
  services.setFrameRange(first, last, step);
  services.setFrame(first);
  long calls = 0;
  std::chrono::steady_clock::duration longest{};
  int32_t longestCode = 0;
  int32_t longestFrame = first;
  std::chrono::steady_clock::duration completion{};  // the render-completed event's, apart
  auto deliverAll = [&](int32_t code) {
    for (Instance& instance : instances_) {
      const auto took = deliver(instance, code, line);
      ++calls;
      if (code == HOST_EVENT_RENDER_DONE) {
        completion = std::max(completion, took);
      } else if (took > longest) {
        longest = took;
        longestCode = code;
        longestFrame = services.timeInfo().frame;
      }
    }
  };
  deliverAll(HOST_EVENT_RENDER_STARTING);
  for (int64_t frame = first; frame <= last; frame += step) {
    services.setFrame(static_cast<int32_t>(frame));
    deliverAll(HOST_EVENT_FRAME_STARTED);
    // The user aborts while this frame renders; the host then ends the
    // sequence as it ends a completed one.
    if (abortAt && frame >= *abortAt) {
      deliverAll(HOST_EVENT_RENDER_ABORTED);
      break;
    }
    // The time the frame takes to render.
    const int32_t frameMs = slowFrame && frame == *slowFrame ? slowMs : sleepMs;
    if (frameMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(frameMs));
    // The rendered frame goes through the image filter before the handlers
    // hear it is done.
    if (filter_) filterFrame(static_cast<int32_t>(frame), size, line);
    deliverAll(HOST_EVENT_FRAME_DONE);
  }
  deliverAll(HOST_EVENT_RENDER_DONE);
  if (showTimes_) {
    say("render: " + std::to_string(calls) + " event calls, longest " + milliseconds(longest) +
        " ms (event " + std::to_string(longestCode) + " at frame " + std::to_string(longestFrame) +
        "), render completed " + milliseconds(completion) + " ms");
  }
}

void Host::cmdOptions(const std::vector<std::string>& w, int line) {
  if (w.size() < 3)
    throw ScriptError(line,
                      "usage: options NAME ok|cancel [token=T] [name=N] [channel=C] "
                      "[render=B] [start=B] [done=B] [times=B] [thread=B] [progress=B] "
                      "[notify=TEXT] [alert=N] [gettoken] [test]");
  Instance& instance = find(w[1], line);
  ScriptedUser user;
  if (w[2] == "ok")
    user.pressOk = true;
  else if (w[2] != "cancel")
    throw ScriptError(line, "options needs ok or cancel, not " + w[2]);

  struct Field {
    const char* key;
    const char* label;
    bool isSwitch;
    bool isNumber = false;
  };
  static const Field fields[] = {
      {"token", "Token", false},
      {"name", "Name", false},
      {"channel", "Channel", false},
      {"render", "Message when render completes", true},
      {"start", "Message when a new frame renders", true},
      {"done", "Message when a frame is complete", true},
      {"times", "Add render times", true},
      {"thread", "Frame messages in a thread", true},
      {"progress", "Progress in one message", true},
      {"notify", "Notify", false},
      {"alert", "Alert after minutes without a frame", false, true},
  };
  for (size_t i = 3; i < w.size(); ++i) {
    const std::string& word = w[i];
    if (word == "gettoken") {
      user.clickGetToken = true;
      continue;
    }
    if (word == "test") {
      user.clickSendTest = true;
      continue;
    }
    std::string::size_type eq = word.find('=');
    std::string key = word.substr(0, eq);
    const Field* field = nullptr;
    for (const Field& f : fields)
      if (eq != std::string::npos && key == f.key) field = &f;
    if (!field) throw ScriptError(line, "unknown options setting: " + word);
    ScriptedUser::Edit edit;
    edit.isSwitch = field->isSwitch;
    edit.isNumber = field->isNumber;
    edit.label = field->label;
    std::string value = word.substr(eq + 1);
    if (field->isNumber) {
      edit.state = parseInt32(value, key.c_str(), line);
    } else if (field->isSwitch) {
      if (value != "0" && value != "1")
        throw ScriptError(line, key + " must be 0 or 1, not " + value);
      edit.state = value == "1" ? 1 : 0;
    } else {
      edit.text = value;
    }
    user.edits.push_back(edit);
  }

  if (!activateInterface_) throw ScriptError(line, "the module has no MasterInterface server");
  HostMasterInterface record{};
  record.instance = instance.handle;
  if (StandInServices::get().renderNode()) {
    // Nobody sits at a render node: the module has no panel to show, and
    // the record must come back as it went.
    int result = activateInterface_(kHostVersion, &StandInServices::lookup, &record, serverData_);
    bool untouched =
        record.instance == instance.handle && !record.panel && !record.options && !record.command;
    say("MasterInterface: " + std::to_string(result) + ", no panel on a render node" +
        (untouched ? "" : ", record changed"));
    return;
  }
  PanelServices& panels = PanelServices::get();
  panels.beginSession(user);
  int result = activateInterface_(kHostVersion, &StandInServices::lookup, &record, serverData_);
  // A panel handed back is one the host is to show itself.
  if (result == 0 && record.panel) panels.openForModule(static_cast<HostPanel*>(record.panel));
  std::string error = panels.endSession();
  if (result != 0)
    throw ScriptError(line, "MasterInterface activation failed: " + std::to_string(result));
  if (!error.empty()) throw ScriptError(line, error);
}

void Host::cmdFilter(const std::vector<std::string>& w, int line) {
  static const char* const kUsage = "filter add [noitems] | filter remove";
  if (w.size() == 2 && w[1] == "remove") {
    if (!filter_) throw ScriptError(line, "no image filter is applied");
    removeFilter();
    return;
  }
  const bool noItems = w.size() == 3 && w[2] == "noitems";
  if (w.size() < 2 || w[1] != "add" || (w.size() != 2 && !noItems))
    throw ScriptError(line, std::string("usage: ") + kUsage);
  if (filter_) throw ScriptError(line, "an image filter is applied already");
  if (!activateFilter_)
    throw ScriptError(line, std::string("the module has no ") + HOST_IMAGE_FILTER_CLASS +
                                " server named " + kFilterServer);
  // The modeling application passes no item callbacks; the module must
  // cope with that.
  HostInstanceFuncs funcs{};
  HostImageFilterHandler record{};
  record.instanceFuncs = &funcs;
  record.itemFuncs = noItems ? nullptr : &filterItemFuncs_;
  int result = activateFilter_(kHostVersion, &StandInServices::lookup, &record, serverData_);
  if (result != 0)
    throw ScriptError(line, std::string(HOST_IMAGE_FILTER_CLASS) +
                                " activation with version 4 failed: " + std::to_string(result));
  if (!funcs.create || !record.process)
    throw ScriptError(line, "the image filter has no create or process function");
  const char* error = nullptr;
  void* handle = funcs.create(funcs.priv, nullptr, &error);
  if (!handle)
    throw ScriptError(line, "the image filter's create failed" +
                                (error ? ": " + std::string(error) : std::string()));
  filter_ = Filter{handle, funcs, record.process};
}

void Host::cmdColorSpace(const std::vector<std::string>& w, int line) {
  expectWords(w, 2, "colorspace linear|srgb|none", line);
  StandInServices& services = StandInServices::get();
  if (w[1] == "linear")
    services.setOutputColorSpace(HOST_COLOR_SPACE_LINEAR);
  else if (w[1] == "srgb")
    services.setOutputColorSpace(HOST_COLOR_SPACE_SRGB);
  else if (w[1] == "none")
    services.setOutputColorSpace(std::nullopt);
  else
    throw ScriptError(line, "usage: colorspace linear|srgb|none");
}

// As a host that crashes: gone at once, nothing unloaded or destroyed, no
// handler told. `after=MS` lets that much time pass first, as in a frame
// that renders a while before the machine dies (the module's posting thread
// sends meanwhile). What was written so far is flushed, as the streams of a
// crashed process are not.
void Host::cmdCrash(const std::vector<std::string>& w, int line) {
  static const char* const kUsage = "crash [after=MS]";
  if (w.size() > 2 || (w.size() == 2 && w[1].rfind("after=", 0) != 0))
    throw ScriptError(line, std::string("usage: ") + kUsage);
  if (w.size() == 2) {
    const int32_t afterMs = parseInt32(w[1].substr(6), "the time before the crash", line);
    if (afterMs < 0 || afterMs > kMaxSleepMs)
      throw ScriptError(line, "the time before the crash must be 0 to 600000 ms");
    std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
  }
  std::fflush(nullptr);
  std::_Exit(kCrashStatus);
}

void Host::removeFilter() {
  if (!filter_) return;
  if (filter_->funcs.destroy) filter_->funcs.destroy(filter_->handle);
  filter_.reset();
}

void Host::filterFrame(int32_t frame, const FrameSize& size, int line) {
  const double time = StandInServices::timeOf(frame);
  FilterFrame image(size, frame, time, time);
  image.process(filter_->process, filter_->handle);
  std::string wrong = image.check();
  if (wrong.empty()) return;
  // The render goes on as the host's would; the run fails at its end.
  std::fflush(stdout);
  std::fprintf(stderr, "line %d: image filter: %s\n", line, wrong.c_str());
  std::fflush(stderr);
  failed_ = true;
}

}  // namespace pingwell_host
