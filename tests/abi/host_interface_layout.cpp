// The host's records, held at their binary layout: every size and offset
// below is the host's own, for x86-64 (the same on Windows and Linux). A
// member moved, dropped or retyped by mistake fails the build, in the Linux
// build and in the Windows cross build alike.
#include <cstddef>

#include "plugin/host_api/host_interface.h"

#define AT(record, member, offset) \
  static_assert(offsetof(record, member) == (offset), #record "." #member " is at " #offset)
#define SIZE(record, bytes) static_assert(sizeof(record) == (bytes), #record " is " #bytes " bytes")

static_assert(sizeof(void*) == 8, "the module is built for x86-64");
static_assert(sizeof(int) == 4 && sizeof(unsigned int) == 4 && sizeof(double) == 8 &&
                  sizeof(float) == 4 && sizeof(short) == 2,
              "the host's C types");

// Module descriptor and servers.
SIZE(HostModuleDescriptor, 40);
AT(HostModuleDescriptor, magic, 0);
AT(HostModuleDescriptor, version, 4);
AT(HostModuleDescriptor, machine, 8);
AT(HostModuleDescriptor, startup, 16);
AT(HostModuleDescriptor, shutdown, 24);
AT(HostModuleDescriptor, servers, 32);

SIZE(HostServerRecord, 32);
AT(HostServerRecord, className, 0);
AT(HostServerRecord, serverName, 8);
AT(HostServerRecord, activate, 16);
AT(HostServerRecord, tagInfo, 24);

SIZE(HostServerTagInfo, 16);
AT(HostServerTagInfo, string, 0);
AT(HostServerTagInfo, tag, 8);

// Master handler.
SIZE(HostMasterHandler, 40);
AT(HostMasterHandler, instanceFuncs, 0);
AT(HostMasterHandler, itemFuncs, 8);
AT(HostMasterHandler, type, 16);
AT(HostMasterHandler, event, 24);
AT(HostMasterHandler, flags, 32);

SIZE(HostInstanceFuncs, 56);
AT(HostInstanceFuncs, priv, 0);
AT(HostInstanceFuncs, create, 8);
AT(HostInstanceFuncs, destroy, 16);
AT(HostInstanceFuncs, copy, 24);
AT(HostInstanceFuncs, load, 32);
AT(HostInstanceFuncs, save, 40);
AT(HostInstanceFuncs, describe, 48);

SIZE(HostMasterAccess, 48);
AT(HostMasterAccess, eventCode, 0);
AT(HostMasterAccess, eventData, 8);
AT(HostMasterAccess, data, 16);
AT(HostMasterAccess, lookup, 24);
AT(HostMasterAccess, execute, 32);
AT(HostMasterAccess, evaluate, 40);

// Interface.
SIZE(HostMasterInterface, 32);
AT(HostMasterInterface, instance, 0);
AT(HostMasterInterface, panel, 8);
AT(HostMasterInterface, options, 16);
AT(HostMasterInterface, command, 24);

// Services.
AT(HostSceneInfo, name, 0);
AT(HostSceneInfo, filename, 8);
AT(HostSceneInfo, numPoints, 16);
AT(HostSceneInfo, numPolygons, 20);
AT(HostSceneInfo, renderType, 24);
AT(HostSceneInfo, renderOpts, 28);
AT(HostSceneInfo, frameStart, 32);
AT(HostSceneInfo, frameEnd, 36);
AT(HostSceneInfo, frameStep, 40);

SIZE(HostTimeInfo, 16);
AT(HostTimeInfo, time, 0);
AT(HostTimeInfo, frame, 8);

SIZE(HostMessageFuncs, 56);
AT(HostMessageFuncs, info, 0);
AT(HostMessageFuncs, error, 8);
AT(HostMessageFuncs, warning, 16);
AT(HostMessageFuncs, okCancel, 24);
AT(HostMessageFuncs, yesNo, 32);
AT(HostMessageFuncs, yesNoCan, 40);
AT(HostMessageFuncs, yesNoAll, 48);

// The directory and instance-update services are functions, not records.
static_assert(sizeof(HostDirectoryFunc) == 8 && sizeof(HostInstanceUpdateFunc) == 8,
              "the lookup gives these functions themselves");

// Scene block.
SIZE(HostSaveState, 128);
AT(HostSaveState, ioMode, 0);
AT(HostSaveState, writeData, 8);
AT(HostSaveState, write, 16);
AT(HostSaveState, writeI1, 24);
AT(HostSaveState, writeI2, 32);
AT(HostSaveState, writeI4, 40);
AT(HostSaveState, writeU1, 48);
AT(HostSaveState, writeU2, 56);
AT(HostSaveState, writeU4, 64);
AT(HostSaveState, writeFP, 72);
AT(HostSaveState, writeStr, 80);
AT(HostSaveState, writeID, 88);
AT(HostSaveState, beginBlk, 96);
AT(HostSaveState, endBlk, 104);
AT(HostSaveState, depth, 112);
AT(HostSaveState, writeDP, 120);

SIZE(HostLoadState, 128);
AT(HostLoadState, ioMode, 0);
AT(HostLoadState, readData, 8);
AT(HostLoadState, read, 16);
AT(HostLoadState, readI1, 24);
AT(HostLoadState, readI2, 32);
AT(HostLoadState, readI4, 40);
AT(HostLoadState, readU1, 48);
AT(HostLoadState, readU2, 56);
AT(HostLoadState, readU4, 64);
AT(HostLoadState, readFP, 72);
AT(HostLoadState, readStr, 80);
AT(HostLoadState, readID, 88);
AT(HostLoadState, findBlk, 96);
AT(HostLoadState, endBlk, 104);
AT(HostLoadState, depth, 112);
AT(HostLoadState, readDP, 120);

// Panel services.
SIZE(HostPanelServices, 104);
AT(HostPanelServices, create, 0);
AT(HostPanelServices, destroy, 8);
AT(HostPanelServices, open, 16);
AT(HostPanelServices, handle, 24);
AT(HostPanelServices, draw, 32);
AT(HostPanelServices, close, 40);
AT(HostPanelServices, get, 48);
AT(HostPanelServices, set, 56);
AT(HostPanelServices, addControl, 64);
AT(HostPanelServices, nextControl, 72);
AT(HostPanelServices, drawFuncs, 80);
AT(HostPanelServices, userData, 88);
AT(HostPanelServices, globalFun, 96);

SIZE(HostControl, 32);
AT(HostControl, draw, 0);
AT(HostControl, get, 8);
AT(HostControl, set, 16);
AT(HostControl, priv, 24);

SIZE(HostValue, 40);
AT(HostValue, type, 0);
AT(HostValue, text.type, 0);
AT(HostValue, text.buf, 8);
AT(HostValue, text.bufLen, 16);
AT(HostValue, intv.type, 0);
AT(HostValue, intv.value, 4);
AT(HostValue, intv.defVal, 8);
AT(HostValue, ptr.type, 0);
AT(HostValue, ptr.ptr, 8);

SIZE(HostControlDesc, 48);
AT(HostControlDesc, type, 0);
AT(HostControlDesc, edit.type, 0);
AT(HostControlDesc, edit.width, 4);
AT(HostControlDesc, button.width, 4);
AT(HostControlDesc, text.type, 0);
AT(HostControlDesc, text.text, 8);

// Image filter.
SIZE(HostItemFuncs, 24);
AT(HostItemFuncs, useItems, 0);
AT(HostItemFuncs, changeID, 8);
AT(HostItemFuncs, changeName, 16);

SIZE(HostImageFilterHandler, 32);
AT(HostImageFilterHandler, instanceFuncs, 0);
AT(HostImageFilterHandler, itemFuncs, 8);
AT(HostImageFilterHandler, process, 16);
AT(HostImageFilterHandler, flags, 24);

SIZE(HostFilterAccess, 64);
AT(HostFilterAccess, width, 0);
AT(HostFilterAccess, height, 4);
AT(HostFilterAccess, frame, 8);
AT(HostFilterAccess, start, 16);
AT(HostFilterAccess, end, 24);
AT(HostFilterAccess, getLine, 32);
AT(HostFilterAccess, setRGB, 40);
AT(HostFilterAccess, setAlpha, 48);
AT(HostFilterAccess, monitor, 56);

// Color space.
SIZE(HostColorSpaceFuncs, 88);
AT(HostColorSpaceFuncs, nameToColorSpace, 0);
AT(HostColorSpaceFuncs, loadPixelLookupTable, 8);
AT(HostColorSpaceFuncs, getPixelConversionRGB, 16);
AT(HostColorSpaceFuncs, getPixelConversionAlpha, 24);
AT(HostColorSpaceFuncs, colorSpaceName, 32);
AT(HostColorSpaceFuncs, colorSpaceFile, 40);
AT(HostColorSpaceFuncs, popupHelpers, 48);
AT(HostColorSpaceFuncs, setColorSpace, 80);
