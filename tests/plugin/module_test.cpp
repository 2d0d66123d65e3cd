// The built module as the host meets it: loaded with dlopen, found through
// its one exported symbol, activated through its server table.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fake_host.h"
#include "plugin/notifier/notifier_instance.h"

namespace pingwell {
namespace {

using testing::FakeHost;

class Module : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library = ::dlopen(PINGWELL_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    descriptor = static_cast<const HostModuleDescriptor*>(::dlsym(library, "_mod_descrip"));
  }
  static void TearDownTestSuite() {
    // As the host does before it unloads a module: the shutdown takes back
    // what the start-ups opened (the posting queue).
    if (descriptor != nullptr) descriptor->shutdown(descriptor->startup());
    if (library != nullptr) ::dlclose(library);
    library = nullptr;
    descriptor = nullptr;
  }

  void SetUp() override { ASSERT_NE(descriptor, nullptr); }

  const HostServerRecord& server(const char* className) {
    for (const HostServerRecord* entry = descriptor->servers; entry->className; ++entry) {
      if (std::strcmp(entry->className, className) == 0) return *entry;
    }
    throw std::runtime_error(std::string("no server of class ") + className);
  }

  int activateHandler(int version, HostMasterHandler& record) {
    return server("MasterHandler")
        .activate(version, FakeHost::global(), &record, descriptor->startup());
  }

  static void* library;
  static const HostModuleDescriptor* descriptor;
};

void* Module::library = nullptr;
const HostModuleDescriptor* Module::descriptor = nullptr;

TEST_F(Module, DescriptorIsTheOnlyExportedSymbol) {
  EXPECT_EQ(descriptor->magic, 0x04121994u);
  EXPECT_EQ(descriptor->version, 3u);
  EXPECT_EQ(descriptor->machine, 0x300u);
  ASSERT_NE(descriptor->startup, nullptr);
  ASSERT_NE(descriptor->shutdown, nullptr);
  for (int n = 0; n < 3; ++n) EXPECT_EQ(descriptor->startup(), reinterpret_cast<void*>(4));
  descriptor->shutdown(reinterpret_cast<void*>(4));

  std::vector<std::string> exported;
  const std::string command = std::string("nm -D --defined-only '") + PINGWELL_MODULE_PATH + "'";
  FILE* nm = ::popen(command.c_str(), "r");
  ASSERT_NE(nm, nullptr);
  char line[512];
  while (std::fgets(line, sizeof line, nm) != nullptr) {
    std::string text(line);
    text.erase(text.find_last_not_of("\r\n") + 1);
    exported.push_back(text.substr(text.rfind(' ') + 1));
  }
  ASSERT_EQ(::pclose(nm), 0);
  EXPECT_EQ(exported, std::vector<std::string>{"_mod_descrip"});
}

TEST_F(Module, ServesHandlerAndInterfaceUnderOneNameAndThePreviewFilterWithItsDescription) {
  const HostServerRecord* entries = descriptor->servers;
  ASSERT_NE(entries, nullptr);
  EXPECT_STREQ(entries[0].className, "MasterHandler");
  EXPECT_STREQ(entries[0].serverName, "voro2_slack");
  EXPECT_NE(entries[0].activate, nullptr);
  EXPECT_EQ(entries[0].tagInfo, nullptr);
  EXPECT_STREQ(entries[1].className, "MasterInterface");
  EXPECT_STREQ(entries[1].serverName, "voro2_slack");
  EXPECT_NE(entries[1].activate, nullptr);
  EXPECT_EQ(entries[1].tagInfo, nullptr);
  EXPECT_STREQ(entries[2].className, "ImageFilterHandler");
  EXPECT_STREQ(entries[2].serverName, "voro2_slack_preview");
  EXPECT_NE(entries[2].activate, nullptr);
  const HostServerTagInfo* tags = entries[2].tagInfo;
  ASSERT_NE(tags, nullptr);
  EXPECT_STREQ(tags[0].string, "voro2 pingwell preview");
  // The host reads a tag as its kind (high bits: 0x40000 the description,
  // 0x50000 an enable tag) and its language (low 16 bits: US English).
  EXPECT_EQ(tags[0].tag & 0xFFFF0000u, 0x40000u);
  EXPECT_EQ(tags[0].tag & 0xFFFFu, 0x0409u);
  EXPECT_EQ(tags[1].string, nullptr);
  EXPECT_EQ(tags[1].tag, 0u);
  EXPECT_EQ(entries[3].className, nullptr);
  EXPECT_EQ(entries[3].serverName, nullptr);
  EXPECT_EQ(entries[3].activate, nullptr);
  EXPECT_EQ(entries[3].tagInfo, nullptr);
}

TEST_F(Module, OnlyVersionFourActivates) {
  FakeHost host;
  for (int version : {3, 5, 0, -4}) {
    SCOPED_TRACE(version);
    HostInstanceFuncs funcs;
    std::memset(&funcs, 0xA5, sizeof funcs);
    HostMasterHandler handler;
    std::memset(&handler, 0xA5, sizeof handler);
    handler.instanceFuncs = &funcs;
    const HostMasterHandler handlerBefore = handler;
    const HostInstanceFuncs funcsBefore = funcs;
    EXPECT_EQ(activateHandler(version, handler), 1);
    EXPECT_EQ(std::memcmp(&handler, &handlerBefore, sizeof handler), 0);
    EXPECT_EQ(std::memcmp(&funcs, &funcsBefore, sizeof funcs), 0);

    HostMasterInterface face;
    std::memset(&face, 0xA5, sizeof face);
    const HostMasterInterface faceBefore = face;
    EXPECT_EQ(server("MasterInterface").activate(version, FakeHost::global(), &face, nullptr), 1);
    EXPECT_EQ(std::memcmp(&face, &faceBefore, sizeof face), 0);

    HostImageFilterHandler filter;
    std::memset(&filter, 0xA5, sizeof filter);
    filter.instanceFuncs = &funcs;
    const HostImageFilterHandler filterBefore = filter;
    EXPECT_EQ(server("ImageFilterHandler").activate(version, FakeHost::global(), &filter, nullptr),
              1);
    EXPECT_EQ(std::memcmp(&filter, &filterBefore, sizeof filter), 0);
    EXPECT_EQ(std::memcmp(&funcs, &funcsBefore, sizeof funcs), 0);
  }
  EXPECT_TRUE(host.lookups.empty());
  EXPECT_TRUE(host.runs().empty());
}

TEST_F(Module, HandlerActivationWiresTheNotifier) {
  FakeHost host;
  host.writeSettings("xoxb-1\nRender Bot\n#renders\n");
  HostInstanceFuncs funcs{};
  HostMasterHandler handler{};
  handler.instanceFuncs = &funcs;
  handler.itemFuncs = reinterpret_cast<HostItemFuncs*>(&host);
  handler.type = 99;
  EXPECT_EQ(activateHandler(4, handler), 0);
  EXPECT_EQ(host.lookups,
            (std::vector<std::string>{"LW Scene Info 10", "Info Messages 3", "LW Time Info",
                                      "LW Item Info 8", "LW Camera Info 9", "LW Interface Info 7",
                                      "Instance Update", "LWPanelServices 2", "Directory Info",
                                      "System ID"}));
  EXPECT_EQ(handler.instanceFuncs, &funcs);
  EXPECT_EQ(handler.itemFuncs, reinterpret_cast<HostItemFuncs*>(&host));
  EXPECT_EQ(handler.type, 0);
  EXPECT_EQ(funcs.priv, reinterpret_cast<void*>(FakeHost::global()));
  ASSERT_TRUE(funcs.create && funcs.destroy && funcs.copy && funcs.load && funcs.save &&
              funcs.describe && handler.event && handler.flags);

  // What the wired functions do, through the module's own copies.
  const char* error = nullptr;
  void* instance = funcs.create(funcs.priv, nullptr, &error);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(error, nullptr);
  EXPECT_STREQ(funcs.describe(instance), "voro2 pingwell");
  EXPECT_EQ(handler.flags(instance), 2u);
  testing::FakeSceneBlock block;
  EXPECT_EQ(funcs.save(instance, block.save()), nullptr);
  ASSERT_EQ(block.values().size(), 8u);
  EXPECT_EQ(block.values()[1].i, 1);  // render done on from the start
  const HostMasterAccess other{0x10A, nullptr, nullptr, nullptr, nullptr, nullptr};
  handler.event(instance, &other);
  funcs.destroy(instance);

  // A second activation looks everything up again.
  EXPECT_EQ(activateHandler(4, handler), 0);
  EXPECT_EQ(host.lookups.size(), 20u);
}

TEST_F(Module, ImageFilterActivationWiresThePreviewFilterAndClearsTheItemRecord) {
  FakeHost host;
  // In the modeling application the item record is not given.
  for (bool items : {true, false}) {
    SCOPED_TRACE(items ? "with item record" : "without item record");
    HostInstanceFuncs funcs;
    std::memset(&funcs, 0xA5, sizeof funcs);
    HostItemFuncs itemFuncs;
    std::memset(&itemFuncs, 0xA5, sizeof itemFuncs);
    HostImageFilterHandler filter;
    std::memset(&filter, 0xA5, sizeof filter);
    filter.instanceFuncs = &funcs;
    filter.itemFuncs = items ? &itemFuncs : nullptr;
    EXPECT_EQ(server("ImageFilterHandler").activate(4, FakeHost::global(), &filter, nullptr), 0);
    EXPECT_EQ(filter.instanceFuncs, &funcs);
    EXPECT_EQ(filter.itemFuncs, items ? &itemFuncs : nullptr);
    if (items) {
      EXPECT_EQ(itemFuncs.useItems, nullptr);
      EXPECT_EQ(itemFuncs.changeID, nullptr);
      EXPECT_EQ(itemFuncs.changeName, nullptr);
    }
    ASSERT_TRUE(funcs.create && funcs.destroy && funcs.copy && funcs.load && funcs.save &&
                funcs.describe && filter.process && filter.flags);

    void* instance = funcs.create(funcs.priv, nullptr, nullptr);
    ASSERT_NE(instance, nullptr);
    EXPECT_STREQ(funcs.describe(instance), "voro2 pingwell preview");
    EXPECT_EQ(filter.flags(instance), 0u);
    testing::FakeSceneBlock block;
    EXPECT_EQ(funcs.save(instance, block.save()), nullptr);
    EXPECT_TRUE(block.values().empty());
    funcs.destroy(instance);
  }
  // The filter looks up no service until it filters a frame.
  EXPECT_TRUE(host.lookups.empty());
}

TEST_F(Module, InterfaceActivationRunsThePanelAndLeavesTheHostNothing) {
  FakeHost host;
  HostInstanceFuncs funcs{};
  HostMasterHandler handler{};
  handler.instanceFuncs = &funcs;
  ASSERT_EQ(activateHandler(4, handler), 0);
  void* instance = funcs.create(funcs.priv, nullptr, nullptr);
  host.script.texts = {{"Token", "xoxb-2"}, {"Name", "Bot"}, {"Channel", "#c"}};
  for (bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "OK" : "Cancel");
    host.script.pressOk = ok;
    HostMasterInterface face;
    std::memset(&face, 0xA5, sizeof face);
    face.instance = instance;
    EXPECT_EQ(server("MasterInterface").activate(4, FakeHost::global(), &face, nullptr), 0);
    EXPECT_EQ(face.instance, instance);
    EXPECT_EQ(face.panel, nullptr);
    EXPECT_EQ(face.options, nullptr);
    EXPECT_EQ(face.command, nullptr);
    EXPECT_TRUE(host.lastRun().opened);
    EXPECT_EQ(testing::readBytes(host.settingsPath()), ok ? "xoxb-2\nBot\n#c\n" : "");
  }
  // The panel services came without their own lookup: the plug-in set it to
  // the activation's before looking up through it.
  EXPECT_EQ(host.panels.globalFun, FakeHost::global());
  EXPECT_EQ(std::count(host.lookups.begin(), host.lookups.end(), "Channel Info 2"), 2);
  funcs.destroy(instance);
}

// "System ID" names a render node; a workstation whose panel service lookup
// fails is no render node, but has no panel either. In both, instances work
// and the interface activation changes nothing.
TEST_F(Module, WithoutPanelServicesInstancesWorkAndTheInterfaceActivationChangesNothing) {
  for (bool renderNode : {true, false}) {
    SCOPED_TRACE(renderNode ? "render node" : "workstation without panel services");
    FakeHost host;
    host.setRenderNode(renderNode);
    host.setPanelServices(false);
    host.writeSettings("xoxb-node\nNode Bot\n#renders\n");
    HostInstanceFuncs funcs{};
    HostMasterHandler handler{};
    handler.instanceFuncs = &funcs;
    ASSERT_EQ(activateHandler(4, handler), 0);
    void* instance = funcs.create(funcs.priv, nullptr, nullptr);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(static_cast<NotifierInstance*>(instance)->channel, "#renders");

    testing::FakeSceneBlock block;
    EXPECT_EQ(funcs.save(instance, block.save()), nullptr);
    EXPECT_EQ(funcs.load(instance, block.load()), nullptr);
    EXPECT_EQ(block.values().size(), 8u);

    HostMasterInterface face;
    std::memset(&face, 0xA5, sizeof face);
    face.instance = instance;
    const HostMasterInterface before = face;
    EXPECT_EQ(server("MasterInterface").activate(4, FakeHost::global(), &face, nullptr), 0);
    EXPECT_EQ(std::memcmp(&face, &before, sizeof face), 0);
    EXPECT_TRUE(host.runs().empty());
    EXPECT_EQ(testing::readBytes(host.settingsPath()), "xoxb-node\nNode Bot\n#renders\n");
    funcs.destroy(instance);
  }
}

}  // namespace
}  // namespace pingwell
