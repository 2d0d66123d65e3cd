// The module as the host sees it: the exported descriptor, the server table
// with the master handler and interface servers and the preview image
// filter, and their activation.
#include <cstdint>

#include "plugin/host_api/failure_report.h"
#include "plugin/host_api/host_interface.h"
#include "plugin/previews/image_filter.h"
#include "plugin/host_api/host_services.h"
#include "plugin/notifier/notifier.h"
#include "plugin/options_panel/options_panel.h"
#include "plugin/posting/posting_queue.h"

#ifdef _WIN32
#define PINGWELL_EXPORT __declspec(dllexport)
#else
#define PINGWELL_EXPORT __attribute__((visibility("default")))
#endif

namespace pingwell {

namespace {

constexpr int kActivationVersion = HOST_ACTIVATION_VERSION;
constexpr int kActivated = HOST_AFUNC_OK;
constexpr int kVersionRefused = HOST_AFUNC_BADVERSION;
constexpr const char* kServerName = "voro2_slack";
constexpr const char* kPreviewFilterName = "voro2_slack_preview";
// The datum handed to every activation; any non-null value will do.
constexpr std::uintptr_t kServerDatum = 4;

// The module owns the posting thread: made here (the thread itself starts
// at the first request), drained and stopped at shutdown. Without it the
// requests would go out on the render's thread.
void* moduleStartup() {
  try {
    openPostingQueue();
  } catch (...) {
    reportCurrentException();
  }
  return reinterpret_cast<void*>(kServerDatum);
}

// The host's call before it unloads the module: the queue gets up to 10 s
// to drain, then the thread stops, and the clients and libcurl's global
// state go, all here, so that nothing of libcurl is left to the static
// destructors or the library's detach (on Windows, under the loader lock).
void moduleShutdown(void* /*serverData*/) { closePostingQueue(); }

// Wires the notifier into the host's handler record. Every activation looks
// the services up again and keeps the newest.
int activateHandler(int version, HostGlobalFunc global, void* local, void* /*serverData*/) {
  if (version != kActivationVersion || local == nullptr) return kVersionRefused;
  try {
    keepHandlerServices(global);
    auto* handler = static_cast<HostMasterHandler*>(local);
    if (HostInstanceFuncs* funcs = handler->instanceFuncs; funcs != nullptr) {
      funcs->priv = reinterpret_cast<void*>(global);
      funcs->create = notifierCreate;
      funcs->destroy = notifierDestroy;
      funcs->copy = notifierCopy;
      funcs->load = notifierLoad;
      funcs->save = notifierSave;
      funcs->describe = notifierDescribe;
    }
    handler->type = HOST_MASTER_TYPE_SCENE;
    handler->event = notifierEvent;
    handler->flags = notifierFlags;
  } catch (...) {
    reportCurrentException();
  }
  return kActivated;
}

// Runs the options panel for the instance the record names, there and then;
// the host is left no panel of its own to show. A render node, or a host
// without panel services, shows none: the activation succeeds and changes
// nothing.
int activateInterface(int version, HostGlobalFunc global, void* local, void* /*serverData*/) {
  if (version != kActivationVersion || local == nullptr) return kVersionRefused;
  try {
    if (hostServices().renderNode || !keepInterfaceServices(global)) return kActivated;
    auto* face = static_cast<HostMasterInterface*>(local);
    face->panel = runOptionsPanel(static_cast<NotifierInstance*>(face->instance));
    face->options = nullptr;
    face->command = nullptr;
  } catch (...) {
    reportCurrentException();
  }
  return kActivated;
}

// Wires the preview filter into the host's image filter record. Its
// instances keep the activation's lookup, for the output color space at each
// frame; it has no interface server. The item record, which the
// modeling application does not give, is filled when given: no items.
int activateImageFilter(int version, HostGlobalFunc global, void* local,
                        void* /*serverData*/) {
  if (version != kActivationVersion || local == nullptr) return kVersionRefused;
  auto* filter = static_cast<HostImageFilterHandler*>(local);
  if (HostInstanceFuncs* funcs = filter->instanceFuncs; funcs != nullptr) {
    funcs->priv = reinterpret_cast<void*>(global);
    funcs->create = previewFilterCreate;
    funcs->destroy = previewFilterDestroy;
    funcs->copy = previewFilterCopy;
    funcs->load = previewFilterLoad;
    funcs->save = previewFilterSave;
    funcs->describe = previewFilterDescribe;
  }
  if (HostItemFuncs* items = filter->itemFuncs; items != nullptr) {
    items->useItems = nullptr;
    items->changeID = nullptr;
    items->changeName = nullptr;
  }
  filter->process = previewFilterProcess;
  filter->flags = previewFilterFlags;
  return kActivated;
}

const HostServerTagInfo kPreviewFilterTags[] = {
    {kPreviewFilterDescription, HOST_SRVTAG_DESCRIPTION | HOST_LANGID_USENGLISH},
    {nullptr, 0},
};

const HostServerRecord kServers[] = {
    {"MasterHandler", kServerName, activateHandler, nullptr},
    {"MasterInterface", kServerName, activateInterface, nullptr},
    {HOST_IMAGE_FILTER_CLASS, kPreviewFilterName, activateImageFilter, kPreviewFilterTags},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

}  // namespace pingwell

extern "C" {
// The one symbol the host looks up by name.
PINGWELL_EXPORT HostModuleDescriptor _mod_descrip = {
    HOST_MODULE_MAGIC,       HOST_MODULE_VERSION,      HOST_MODULE_MACHINE,
    pingwell::moduleStartup, pingwell::moduleShutdown, pingwell::kServers,
};
}
