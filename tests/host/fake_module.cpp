// A module that stands in for the notifier in tests of pingwell-host: it
// speaks the host contract and writes on standard output what the host made
// it do, so a test can check the host from the outside.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "plugin/host_api/host_interface.h"

#ifndef FAKE_MAGIC
#define FAKE_MAGIC HOST_MODULE_MAGIC
#endif
// The name of the module's image filter; pingwell-host applies only its own.
#ifndef FAKE_FILTER_NAME
#define FAKE_FILTER_NAME "voro2_slack_preview"
#endif
// FAKE_FILTER_FAULTY: the filter passes the frame through wrongly, one
// fault a frame by turns: it leaves a pixel unset, alters one, or writes a
// line the host did not give as 1 instead of 0.

namespace {

HostGlobalFunc hostGlobal = nullptr;
const HostSceneInfo* sceneInfo = nullptr;
const HostTimeInfo* timeInfo = nullptr;
HostDirectoryFunc directory = nullptr;
HostPanelServices* panelServices = nullptr;
int instancesMade = 0;

struct FakeInstance {
  int id = 0;
  void* priv = nullptr;
  std::string settings;
  int32_t a = 7, b = -3, c = 0;
  std::string token, name, channel;
  int render = 1, start = 0, done = 0;
  std::string described;
};

void say(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

std::string tag(const FakeInstance* f) { return "fake #" + std::to_string(f->id); }

void* create(void* priv, void*, const char**) {
  std::string settings = directory(HOST_DIRECTORY_SETTINGS);
  std::FILE* refuse = std::fopen((settings + "/refuse-create").c_str(), "r");
  if (refuse) {
    std::fclose(refuse);
    return nullptr;
  }
  auto f = std::make_unique<FakeInstance>();
  f->id = ++instancesMade;
  f->priv = priv;
  f->settings = settings;
  f->c = f->id;
  return f.release();
}

void destroy(void* instance) {
  std::unique_ptr<FakeInstance> f(static_cast<FakeInstance*>(instance));
  say(tag(f.get()) + " destroyed");
}

const char* copy(void* to, void* from) {
  auto* t = static_cast<FakeInstance*>(to);
  auto* s = static_cast<FakeInstance*>(from);
  t->a = s->a;
  t->b = s->b;
  t->c = s->c;
  return nullptr;
}

const char* load(void* instance, const HostLoadState* state) {
  auto* f = static_cast<FakeInstance*>(instance);
  float x = -1.0f;
  int32_t v[3] = {12345, 12345, 12345};
  if (state->ioMode != HOST_IO_SCENE) say(tag(f) + " load: not a scene");
  int rf = state->readFP(state->readData, &x, 1);
  int r0 = state->readI4(state->readData, &v[0], 1);
  int r1 = state->readI4(state->readData, &v[1], 1);
  int r2 = state->readI4(state->readData, &v[2], 1);
  char text[200];
  std::snprintf(text, sizeof text, " load %d:%g %d:%d %d:%d %d:%d", rf, x, r0, v[0], r1, v[1], r2,
                v[2]);
  say(tag(f) + text);
  if (r0) f->a = v[0];
  if (r1) f->b = v[1];
  if (r2) f->c = v[2];
  return nullptr;
}

const char* save(void* instance, const HostSaveState* state) {
  auto* f = static_cast<FakeInstance*>(instance);
  float x = 0.01f;
  state->writeFP(state->writeData, &x, 1);
  state->writeI4(state->writeData, &f->a, 1);
  state->writeI4(state->writeData, &f->b, 1);
  state->writeI4(state->writeData, &f->c, 1);
  return nullptr;
}

const char* describe(void* instance) {
  auto* f = static_cast<FakeInstance*>(instance);
  f->described = tag(f) + " a=" + std::to_string(f->a) + " b=" + std::to_string(f->b) +
                 " c=" + std::to_string(f->c) + " settings=" + f->settings +
                 (f->priv == reinterpret_cast<void*>(hostGlobal) ? " priv=lookup" : " priv=?");
  return f->described.c_str();
}

double event(void* instance, const HostMasterAccess* access) {
  auto* f = static_cast<FakeInstance*>(instance);
  const char* scene = sceneInfo->filename ? sceneInfo->filename : "(null)";
  say(tag(f) + " event " + std::to_string(access->eventCode) + " frame " +
      std::to_string(timeInfo->frame) + " scene '" + scene + "'");
  return 0.0;
}

unsigned int flags(void*) { return 2; }

void onGetToken(HostControl*, void* datum) {
  say(tag(static_cast<FakeInstance*>(datum)) + " clicked Get Token");
}

int activateHandler(int version, HostGlobalFunc global, void* local, void*) {
  say("fake: handler activation " + std::to_string(version));
  if (version != 4) return 1;
  hostGlobal = global;
  sceneInfo = static_cast<const HostSceneInfo*>(global(HOST_SCENE_INFO_NAME, 0));
  timeInfo = static_cast<const HostTimeInfo*>(global(HOST_TIME_INFO_NAME, 0));
  directory = reinterpret_cast<HostDirectoryFunc>(global(HOST_DIRECTORY_INFO_NAME, 0));
  panelServices = static_cast<HostPanelServices*>(global(HOST_PANEL_SERVICES_NAME, 0));
  if (panelServices && panelServices->globalFun) say("fake: panel services come with a lookup");
  auto* handler = static_cast<HostMasterHandler*>(local);
  HostInstanceFuncs* funcs = handler->instanceFuncs;
  funcs->priv = reinterpret_cast<void*>(global);
  funcs->create = create;
  funcs->destroy = destroy;
  funcs->copy = copy;
  funcs->load = load;
  funcs->save = save;
  funcs->describe = describe;
  handler->type = HOST_MASTER_TYPE_SCENE;
  handler->event = event;
  handler->flags = flags;
  return 0;
}

void setText(HostControl* control, const std::string& text) {
  std::string copy = text;
  HostValue value{};
  value.text.type = HOST_VALUE_TEXT;
  value.text.buf = copy.data();
  value.text.bufLen = static_cast<int>(copy.size() + 1);
  control->set(control, HOST_CTL_VALUE, &value);
}

void setInt(HostControl* control, int number) {
  HostValue value{};
  value.intv.type = HOST_VALUE_INT;
  value.intv.value = number;
  control->set(control, HOST_CTL_VALUE, &value);
}

void setPointer(HostControl* control, int tagNumber, void* ptr) {
  HostValue value{};
  value.ptr.type = HOST_VALUE_INT;
  value.ptr.ptr = ptr;
  control->set(control, tagNumber, &value);
}

std::string getText(HostControl* control) {
  char buf[1024];
  HostValue value{};
  value.text.type = HOST_VALUE_TEXT;
  value.text.buf = buf;
  value.text.bufLen = sizeof buf;
  control->get(control, HOST_CTL_VALUE, &value);
  return buf;
}

int getInt(HostControl* control) {
  HostValue value{};
  value.intv.type = HOST_VALUE_INT;
  value.intv.value = -1;
  control->get(control, HOST_CTL_VALUE, &value);
  return value.intv.value;
}

// Gets a text into a buffer that says it holds 8 bytes and is followed by
// a canary: the host must stop at 7 characters and a terminator.
std::string getShort(HostControl* control) {
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  HostValue value{};
  value.text.type = HOST_VALUE_TEXT;
  value.text.buf = buf;
  value.text.bufLen = 8;
  control->get(control, HOST_CTL_VALUE, &value);
  bool canary = std::memchr(buf, '\0', 8) != nullptr;
  for (size_t i = 8; i < sizeof buf; ++i) canary = canary && buf[i] == '#';
  return canary ? std::string("'") + buf + "'" : std::string("overflow");
}

HostControl* add(HostPanel* panel, const char* kind, HostControlDesc& desc, const char* label) {
  return panelServices->addControl(panel, const_cast<char*>(kind), &desc, const_cast<char*>(label));
}

int activateInterface(int version, HostGlobalFunc global, void* local, void*) {
  if (version != 4) return 1;
  auto* record = static_cast<HostMasterInterface*>(local);
  auto* f = static_cast<FakeInstance*>(record->instance);
  if (!panelServices) {
    say(tag(f) + " no panel services");
    return 0;
  }
  panelServices->globalFun = global;
  HostPanelServices* ps = panelServices;
  char title[] = "fake options";
  HostPanel* panel = ps->create(title, nullptr);
  HostControlDesc desc{};
  desc.type = HOST_DESC_EDIT;
  desc.edit.width = 100;
  HostControl* token = add(panel, "EditControl", desc, "Token");
  desc.type = HOST_DESC_BUTTON;
  HostControl* button = add(panel, "ButtonControl", desc, "Get Token");
  desc.type = HOST_DESC_EDIT;
  desc.edit.width = 50;
  HostControl* name = add(panel, "EditControl", desc, "Name");
  HostControl* channel = add(panel, "EditControl", desc, "Channel");
  const char* credit[] = {"fake credit line", nullptr};
  desc.type = HOST_DESC_TEXT;
  desc.text.text = credit;
  add(panel, "TextControl", desc, "");
  desc.type = HOST_DESC_BOOL;
  HostControl* render = add(panel, "BoolControl", desc, "Message when render completes   ");
  HostControl* start = add(panel, "BoolControl", desc, "Message when a new frame renders");
  HostControl* done = add(panel, "BoolControl", desc, "Message when a frame is complete ");
  // The host's controls come one after the other.
  if (ps->nextControl(panel, nullptr) != token || ps->nextControl(panel, token) != button)
    say(tag(f) + " controls out of order");

  setText(token, f->token);
  setPointer(button, HOST_CTL_USERDATA, f);
  setPointer(button, HOST_CTL_USEREVENT, reinterpret_cast<void*>(&onGetToken));
  setText(name, f->name);
  setText(channel, f->channel);
  setInt(render, f->render);
  setInt(start, f->start);
  setInt(done, f->done);

  int ok = ps->open(panel, HOST_PANF_BLOCKING | HOST_PANF_CANCEL);
  say(tag(f) + " panel closed with " + std::to_string(ok));
  if (ok) {
    f->token = getText(token);
    f->name = getText(name);
    f->channel = getText(channel);
    f->render = getInt(render);
    f->start = getInt(start);
    f->done = getInt(done);
    say(tag(f) + " token='" + f->token + "' name='" + f->name + "' channel='" + f->channel +
        "' render=" + std::to_string(f->render) + " start=" + std::to_string(f->start) +
        " done=" + std::to_string(f->done) + " short=" + getShort(token));
  }
  record->panel = nullptr;
  record->options = nullptr;
  record->command = nullptr;
  return 0;
}

// The image filter: passes every frame through as it was given, a line
// that is not given as 0.
bool filterHasItems = false;

void* createFilter(void*, void*, const char**) {
  static int filter = 0;
  return &filter;
}

void destroyFilter(void*) { say("fake filter destroyed"); }

void process(void*, const HostFilterAccess* access) {
  int missing = 0;
  for (int y = 0; y < access->height; ++y) {
    const float* line[4];
    for (int c = 0; c < 4; ++c) {
      line[c] = access->getLine(HOST_BUFFER_RED + c, y);
      if (!line[c]) ++missing;
    }
    for (int x = 0; x < access->width; ++x) {
      float rgba[4];
      for (int c = 0; c < 4; ++c) rgba[c] = line[c] ? line[c][x] : 0.0f;
#ifdef FAKE_FILTER_FAULTY
      const int fault = access->frame % 3;
      if (fault == 1 && x == 2 && y == 1) continue;
      if (fault == 2 && x == 0 && y == 2) rgba[1] += 1.0f;
      if (fault == 0 && !line[3]) rgba[3] = 1.0f;
#endif
      access->setRGB(x, y, rgba);
      access->setAlpha(x, y, rgba[3]);
    }
  }
  say("fake filter: frame " + std::to_string(access->frame) + " " + std::to_string(access->width) +
      "x" + std::to_string(access->height) + (filterHasItems ? " items" : " no items") +
      ", lines not given: " + std::to_string(missing) + (access->monitor ? ", a monitor" : ""));
}

int activateFilter(int version, HostGlobalFunc, void* local, void*) {
  if (version != 4) return 1;
  auto* handler = static_cast<HostImageFilterHandler*>(local);
  handler->instanceFuncs->create = createFilter;
  handler->instanceFuncs->destroy = destroyFilter;
  filterHasItems = handler->itemFuncs != nullptr;
  handler->process = process;
  return 0;
}

void* startup() {
#ifdef FAKE_REFUSE_STARTUP
  return nullptr;
#else
  return reinterpret_cast<void*>(4);
#endif
}

void shutdown(void*) { say("fake: shutdown"); }

const HostServerRecord servers[] = {
    {"MasterHandler", "fake", activateHandler, nullptr},
    {"MasterInterface", "fake", activateInterface, nullptr},
    {HOST_IMAGE_FILTER_CLASS, FAKE_FILTER_NAME, activateFilter, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" {
#if defined(_WIN32)
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
    extern const HostModuleDescriptor _mod_descrip = {
        FAKE_MAGIC, HOST_MODULE_VERSION, HOST_MODULE_MACHINE, startup, shutdown, servers};
}
