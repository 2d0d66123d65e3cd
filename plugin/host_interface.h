/*
 * The host's contract with the plug-in, as plain C records.
 *
 * Everything the plug-in knows of the host is in this file: the module
 * descriptor it exports, the activation functions the host calls, the
 * service records the host hands out by name, and the records the host
 * passes to the plug-in's callbacks. The host stand-in program implements
 * the host side of exactly these records; the plug-in uses nothing else.
 *
 * Ownership in one sentence: every record the host hands out belongs to the
 * host and outlives the call (service records live as long as the process);
 * every record the plug-in hands to the host (descriptor, server table,
 * callbacks) is static data of the module and lives as long as the module.
 */
#ifndef PINGWELL_HOST_INTERFACE_H
#define PINGWELL_HOST_INTERFACE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Global lookup ------------------------------------------------------ */

/* Finds a host service by name. `useMode` is 0 for services the plug-in keeps
 * for the life of the module. Returns the service's record (owned by the
 * host, valid until the process ends) or NULL for a name the host does not
 * know. Called on the thread of the activation that received it. */
typedef void *(*HostGlobalFunc)(const char *serviceName, int useMode);

/* Service names the plug-in looks up. */
#define HOST_SCENE_INFO_NAME "LW Scene Info 10"
#define HOST_INFO_MESSAGES_NAME "Info Messages 3"
#define HOST_TIME_INFO_NAME "LW Time Info"
#define HOST_ITEM_INFO_NAME "LW Item Info 8"
#define HOST_CAMERA_INFO_NAME "LW Camera Info 9"
#define HOST_INTERFACE_INFO_NAME "LW Interface Info 7"
#define HOST_INSTANCE_UPDATE_NAME "Instance Update"
#define HOST_PANEL_SERVICES_NAME "LWPanelServices 2"
#define HOST_DIRECTORY_INFO_NAME "Directory Info"
#define HOST_CHANNEL_INFO_NAME "Channel Info 2"

/* ---- Module descriptor and servers -------------------------------------- */

#define HOST_MODULE_MAGIC 0x04121994u
#define HOST_MODULE_VERSION 3u
#define HOST_MODULE_MACHINE 0x300u

/* Server activation. `version` is the interface version the host offers (the
 * plug-in accepts 4 only); `global` is the lookup for this activation;
 * `local` is the class's record (HostMasterHandler for "MasterHandler",
 * HostMasterInterface for "MasterInterface"), owned by the host and filled by
 * the plug-in; `serverData` is what the module's start-up returned. Returns 0
 * on success, 1 when the version is not supported (the record untouched). */
typedef int (*HostActivateFunc)(int version, HostGlobalFunc global, void *local,
                                void *serverData);

/* One entry of the module's server table; the table ends with an entry whose
 * members are all NULL. */
typedef struct HostServerRecord {
  const char *className;  /* "MasterHandler", "MasterInterface" */
  const char *serverName; /* the name the user sees in the host */
  HostActivateFunc activate;
  const char **tagTexts; /* optional descriptive tags, NULL for none */
} HostServerRecord;

/* The record the module exports by name as `_mod_descrip`. The host checks
 * `magic`, calls `startup` once after loading (a NULL result refuses the
 * module), hands the result to every activation and to `shutdown`, which it
 * calls once before unloading. */
typedef struct HostModuleDescriptor {
  uint32_t magic;   /* HOST_MODULE_MAGIC */
  uint32_t version; /* HOST_MODULE_VERSION */
  uint32_t machine; /* HOST_MODULE_MACHINE */
  void *(*startup)(void);
  void (*shutdown)(void *serverData);
  const HostServerRecord *servers;
} HostModuleDescriptor;

/* ---- Services the plug-in reads ----------------------------------------- */

/* "LW Scene Info 10". The host keeps the members current; the plug-in reads
 * them when it handles an event. */
typedef struct HostSceneInfo {
  const char *name;     /* the scene's display name */
  const char *filename; /* the scene file's name; NULL or "" before the first save */
} HostSceneInfo;

/* "LW Time Info". Kept current by the host, read at event time. */
typedef struct HostTimeInfo {
  double time; /* seconds */
  int32_t frame;
} HostTimeInfo;

/* "Directory Info". */
typedef struct HostDirectoryInfo {
  /* The folder the host uses for `kind` ("Settings" is the one the plug-in
   * asks for), without a trailing separator. The text belongs to the host and
   * stays valid until the next call; NULL when the host has none. */
  const char *(*folder)(const char *kind);
} HostDirectoryInfo;

/* ---- Panel services ("LWPanelServices 2") ------------------------------- */

typedef struct HostPanel HostPanel; /* opaque, owned by the host */

/* Value records passed to a control's get and set. */
#define HOST_VALUE_TEXT 1
#define HOST_VALUE_INT 2
typedef struct HostTextValue {
  int type;   /* HOST_VALUE_TEXT */
  char *buf;  /* set: the text shown; get: receives the text, always terminated */
  int bufLen; /* size of buf in bytes, terminator included */
} HostTextValue;
typedef struct HostIntValue {
  int type;  /* HOST_VALUE_INT */
  int value; /* switch state 0/1 and other integers */
  void *ptr; /* user datum (tag 16) or event function (tag 14) */
} HostIntValue;
typedef union HostValue {
  int type;
  HostTextValue text;
  HostIntValue intv;
} HostValue;

/* Control tags for get and set. */
#define HOST_CTL_VALUE 4      /* set: show the value; get: read it back */
#define HOST_CTL_USERDATA 16  /* set: the datum handed to the event function */
#define HOST_CTL_USEREVENT 14 /* set: HostControlEventFunc called when the control is used */

typedef struct HostControl HostControl;
typedef void (*HostControlEventFunc)(HostControl *control, void *userData);

/* A control on a panel, owned by the panel. get and set are called only while
 * the panel exists, on the thread that runs it. */
struct HostControl {
  void (*get)(HostControl *control, int tag, HostValue *value);
  void (*set)(HostControl *control, int tag, HostValue *value);
  void *priv; /* the host's */
};

/* Descriptor of a new control. The plug-in may reuse one descriptor for
 * several controls; the host reads only what the kind needs. */
#define HOST_DESC_EDIT 1   /* width in characters */
#define HOST_DESC_BUTTON 2 /* width in characters */
#define HOST_DESC_BOOL 8
#define HOST_DESC_TEXT 12 /* text: lines ended by a NULL entry */
typedef struct HostControlDesc {
  int type;
  int width;
  const char **text;
} HostControlDesc;

#define HOST_PANF_BLOCKING 1 /* open returns when the user closes the panel */
#define HOST_PANF_CANCEL 2   /* with OK and Cancel buttons */

typedef struct HostPanelServices {
  /* The panel subsystem's own global lookup (same contract as HostGlobalFunc). */
  HostGlobalFunc globalFun;
  /* A new, empty panel titled `title` (copied); `reserved` is NULL. NULL when
   * the host cannot make one. The host owns the panel. */
  HostPanel *(*create)(const char *title, void *reserved);
  /* Releases a panel and its controls. */
  void (*destroy)(HostPanel *panel);
  /* Adds a control of kind `kindName` ("EditControl", "ButtonControl",
   * "TextControl", "BoolControl"); `desc` and `label` are read during the
   * call only. Returns the control, owned by the panel; NULL on failure. */
  HostControl *(*addControl)(HostPanel *panel, const char *kindName,
                             const HostControlDesc *desc, const char *label);
  /* Shows the panel. With HOST_PANF_BLOCKING|HOST_PANF_CANCEL it returns when
   * the user closes it: non-zero after OK, 0 after Cancel. Control event
   * functions run on this thread meanwhile. */
  int (*open)(HostPanel *panel, int flags);
} HostPanelServices;

/* ---- Scene block load and save ------------------------------------------ */

/* Reads the next values of the instance's scene block. Each read returns the
 * number of values read, 0 when the block has no more (the destination is
 * then untouched). */
typedef struct HostLoadState {
  void *readData;
  int (*readFloats)(void *readData, float *dest, int count);
  int (*readInts)(void *readData, int32_t *dest, int count);
} HostLoadState;

/* Appends values to the instance's scene block. */
typedef struct HostSaveState {
  void *writeData;
  void (*writeFloats)(void *writeData, const float *source, int count);
  void (*writeInts)(void *writeData, const int32_t *source, int count);
} HostSaveState;

/* ---- The master handler ------------------------------------------------- */

/* Event codes delivered to a master handler. */
#define HOST_EVENT_FRAME_STARTED 265 /* 0x109: a frame starts rendering */
#define HOST_EVENT_FRAME_DONE 272    /* 0x110: a frame has been rendered */
#define HOST_EVENT_RENDER_DONE 274   /* 0x112: the whole render has completed */

/* What the host passes with each event; read during the call only. */
typedef struct HostMasterAccess {
  int32_t eventCode;
  void *eventData; /* the host's, unused by the plug-in */
} HostMasterAccess;

/* The instance callbacks. The host holds an instance as an opaque handle from
 * create to destroy and calls these on its own threads, never two at once for
 * the same instance. A callback that can fail returns an error text (static,
 * owned by the plug-in); NULL means success. */
typedef struct HostInstanceFuncs {
  void *priv; /* private datum, handed to create */
  /* A new instance, or NULL (then *error may name why). `context` is the
   * host's and may be NULL. */
  void *(*create)(void *priv, void *context, const char **error);
  void (*destroy)(void *instance);
  const char *(*copy)(void *to, void *from);
  const char *(*load)(void *instance, const HostLoadState *state);
  const char *(*save)(void *instance, const HostSaveState *state);
  /* A short description, owned by the plug-in, valid until the next call. */
  const char *(*describe)(void *instance);
} HostInstanceFuncs;

typedef struct HostItemFuncs HostItemFuncs; /* the host's; the plug-in leaves it alone */

#define HOST_MASTER_TYPE_SCENE 0 /* instances are saved and loaded with the scene */

/* The "MasterHandler" record, owned by the host and filled by activation.
 * `instanceFuncs` points to a record owned by the host. */
typedef struct HostMasterHandler {
  HostInstanceFuncs *instanceFuncs;
  HostItemFuncs *itemFuncs;
  int type;
  /* Handles one event; returns 0.0. May block for the plug-in's network I/O,
   * bounded by its time-outs. Never throws. */
  double (*event)(void *instance, const HostMasterAccess *access);
  /* Flag word; 2 asks for the render events above. */
  unsigned int (*flags)(void *instance);
} HostMasterHandler;

/* The "MasterInterface" record: the host names the instance, the plug-in
 * fills the rest. A NULL panel tells the host the plug-in has shown its own. */
typedef struct HostMasterInterface {
  void *instance;
  HostPanel *panel;
  void (*options)(void *instance);
  const char *(*command)(void *instance, const char *command);
} HostMasterInterface;

#ifdef __cplusplus
}
#endif

#endif /* PINGWELL_HOST_INTERFACE_H */
