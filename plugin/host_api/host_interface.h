/*
 * The host's contract with the plug-in, as plain C records.
 *
 * Everything the plug-in knows of the host is in this file: the module
 * descriptor it exports, the activation functions the host calls, the
 * service records the host hands out by name, and the records the host
 * passes to the plug-in's callbacks. Each record has the binary layout of
 * the host's own record of the same purpose, member for member (its name in
 * the host's plug-in kit is given with each), so the module loads in the
 * real host and on its render nodes. tests/abi holds every offset and size
 * at compile time, in the Linux and the Windows build. The records use int,
 * unsigned int, double and pointers, never long, so the layouts are the same
 * under Windows' LLP64 and Linux's LP64. The host stand-in program
 * implements the host side of exactly these records.
 *
 * Ownership in one sentence: every record the host hands out belongs to the
 * host and outlives the call (service records live as long as the process);
 * every record the plug-in hands to the host (descriptor, server table,
 * callbacks) is static data of the module and lives as long as the module.
 * Members the plug-in never calls are declared all the same, so that the
 * ones it does call sit where the host put them.
 */
#ifndef PINGWELL_HOST_INTERFACE_H
#define PINGWELL_HOST_INTERFACE_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Global lookup (GlobalFunc) ----------------------------------------- */

/* Finds a host service by name. `useMode` 0 (GFUSE_TRANSIENT) is all the
 * plug-in uses. Returns the service (a record, or for a few services a
 * function; see each below), owned by the host and valid until the process
 * ends, or NULL for a name the host does not offer: a render node offers no
 * user-interface services. Called on the thread of the activation that
 * received it. */
typedef void *(*HostGlobalFunc)(const char *serviceName, int useMode);

#define HOST_GLOBAL_TRANSIENT 0

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

/* "System ID": the lookup's result is a value, not a record: cast to an
 * unsigned integer, its type bits say which of the host's programs asks. */
#define HOST_SYSTEM_ID_NAME "System ID"
#define HOST_SYSTEM_ID_TYPE_MASK 0xF0000000u
#define HOST_SYSTEM_ID_LAYOUT 0x00000000u
#define HOST_SYSTEM_ID_MODELER 0x10000000u
#define HOST_SYSTEM_ID_RENDER_NODE 0x20000000u /* a render node */

/* ---- Module descriptor and servers (ModuleDescriptor, ServerRecord) ----- */

#define HOST_MODULE_MAGIC 0x04121994u
#define HOST_MODULE_VERSION 3u
#define HOST_MODULE_MACHINE 0x300u /* Windows x86-64 */

/* Server activation (ActivateFunc). `version` is the interface version the
 * host offers (the plug-in accepts 4 only); `global` is the lookup for this
 * activation; `local` is the class's record (HostMasterHandler for
 * "MasterHandler", HostMasterInterface for "MasterInterface"), owned by the
 * host and filled by the plug-in; `serverData` is what the module's start-up
 * returned. Returns HOST_AFUNC_OK, or HOST_AFUNC_BADVERSION with the record
 * untouched. */
typedef int (*HostActivateFunc)(int version, HostGlobalFunc global, void *local, void *serverData);
#define HOST_AFUNC_OK 0
#define HOST_AFUNC_BADVERSION 1
#define HOST_ACTIVATION_VERSION 4

/* Descriptive tags of a server (ServerTagInfo); a list ends with tag 0. */
typedef struct HostServerTagInfo {
  const char *string; /* static data of the module */
  unsigned int tag;   /* a kind of tag with a language: HOST_SRVTAG_* | HOST_LANGID_* */
} HostServerTagInfo;
#define HOST_SRVTAG_DESCRIPTION 0x40000u /* SRVTAG_DESCRIPTION: the line shown with the server */
#define HOST_LANGID_USENGLISH 0x0409u    /* LANGID_USENGLISH */

/* One entry of the module's server table (ServerRecord); the table ends
 * with an entry whose members are all NULL. */
typedef struct HostServerRecord {
  const char *className;  /* "MasterHandler", "MasterInterface", "ImageFilterHandler" */
  const char *serverName; /* the name the user sees in the host */
  HostActivateFunc activate;
  const HostServerTagInfo *tagInfo; /* NULL: the server gives no tags */
} HostServerRecord;

/* The record the module exports by name as `_mod_descrip`
 * (ModuleDescriptor). The host checks `magic`, calls `startup` once after
 * loading (a NULL result refuses the module), hands the result to every
 * activation and to `shutdown`, which it calls once before unloading. */
typedef struct HostModuleDescriptor {
  unsigned int magic;   /* HOST_MODULE_MAGIC */
  unsigned int version; /* HOST_MODULE_VERSION */
  unsigned int machine; /* HOST_MODULE_MACHINE */
  void *(*startup)(void);
  void (*shutdown)(void *serverData);
  const HostServerRecord *servers;
} HostModuleDescriptor;

/* ---- Services the plug-in reads ----------------------------------------- */

/* "LW Scene Info 10" (LWSceneInfo). The host's record goes on after these
 * members with many more, which vary with the host's version; the plug-in
 * reads `filename` and the render range when it handles an event, and never
 * makes such a record itself. */
typedef struct HostSceneInfo {
  const char *name;     /* the scene's display name */
  const char *filename; /* the scene file's name; NULL or "" before the first save */
  int numPoints;
  int numPolygons;
  int renderType;
  int renderOpts;
  int frameStart; /* the range of frames the scene renders: first, */
  int frameEnd;   /* last, */
  int frameStep;  /* and the step between two */
} HostSceneInfo;

/* "LW Time Info" (LWTimeInfo). Kept current by the host, read at event time. */
typedef struct HostTimeInfo {
  double time; /* seconds */
  int frame;   /* the frame the plug-in names in its messages */
} HostTimeInfo;

/* "Directory Info": the lookup gives this function itself, not a record
 * holding it. Returns the folder the host uses for `kind` ("Settings" is
 * the one the plug-in asks for), without a trailing separator; the text
 * belongs to the host and stays valid until the next call; NULL when the
 * host has none. */
typedef const char *(*HostDirectoryFunc)(const char *kind);
#define HOST_DIRECTORY_SETTINGS "Settings"

/* "Info Messages 3" (LWMessageFuncs): the host's message boxes. `title` is
 * the line shown in bold, `detail` the line below it (NULL for none); both
 * are read during the call only. On a render node the lookup gives NULL. */
typedef struct HostMessageFuncs {
  void (*info)(const char *title, const char *detail);
  void (*error)(const char *title, const char *detail);
  void (*warning)(const char *title, const char *detail);
  /* Questions; the plug-in asks none. */
  int (*okCancel)(const char *title, const char *question, const char *detail);
  int (*yesNo)(const char *title, const char *question, const char *detail);
  int (*yesNoCan)(const char *title, const char *question, const char *detail);
  int (*yesNoAll)(const char *title, const char *question, const char *detail);
} HostMessageFuncs;

/* "Instance Update": the lookup gives this function itself. Kept, never
 * called. */
typedef void (*HostInstanceUpdateFunc)(const char *className, void *instance);

/* ---- Panel services ("LWPanelServices 2", LWPanelFuncs) ----------------- */

typedef struct HostPanel HostPanel; /* opaque, owned by the host (LWPanelID) */
typedef struct HostControl HostControl;

/* Value records passed to a control's get and set (LWValue and its
 * members). Whatever member is used, the record handed over must be the
 * whole union: the host may write any member of it. */
#define HOST_VALUE_TEXT 1 /* LWT_STRING */
#define HOST_VALUE_INT 2  /* LWT_INTEGER: also the type of a pointer value */
typedef struct HostTextValue {
  int type;   /* HOST_VALUE_TEXT */
  char *buf;  /* set: the text shown; get: receives the text, terminated */
  int bufLen; /* size of buf in bytes, terminator included */
} HostTextValue;
typedef struct HostIntValue {
  int type;   /* HOST_VALUE_INT */
  int value;  /* switch state 0/1 and other integers */
  int defVal; /* the host's; unused */
} HostIntValue;
typedef struct HostPointerValue {
  int type;  /* HOST_VALUE_INT */
  void *ptr; /* user datum (tag 16) or event function (tag 14) */
} HostPointerValue;
typedef struct HostFloatValue {
  int type;
  double value;
  double defVal;
} HostFloatValue;
typedef struct HostIntVectorValue {
  int type;
  int val[3];
  int defVal;
} HostIntVectorValue;
typedef struct HostFloatVectorValue {
  int type;
  double val[3];
  double defVal;
} HostFloatVectorValue;
typedef union HostValue {
  int type;
  HostTextValue text;
  HostIntValue intv;
  HostPointerValue ptr;
  HostFloatValue flt;        /* not used by the plug-in */
  HostIntVectorValue ivec;   /* not used by the plug-in */
  HostFloatVectorValue fvec; /* not used; makes the union 40 bytes */
} HostValue;

/* Control tags for get and set. */
#define HOST_CTL_VALUE 4      /* set: show the value; get: read it back */
#define HOST_CTL_USEREVENT 14 /* set: HostControlEventFunc in value.ptr.ptr */
#define HOST_CTL_USERDATA 16  /* set: the datum handed to the event function, in value.ptr.ptr */

/* Called on the panel's thread when the user uses the control; `control`
 * is the control itself, `userData` what was set with HOST_CTL_USERDATA. */
typedef void (*HostControlEventFunc)(HostControl *control, void *userData);

/* A control on a panel (LWControl), owned by the panel. The handle passed
 * to get, set and to the event function is the record itself. get and set
 * are called only while the panel exists, on the thread that runs it. */
struct HostControl {
  void (*draw)(HostControl *control, int drawMode); /* the host's; never called */
  void (*get)(HostControl *control, int tag, HostValue *value);
  void (*set)(HostControl *control, int tag, HostValue *value);
  void *priv; /* the host's (priv_data) */
};

/* Descriptor of a new control (LWPanControlDesc, a union). The plug-in
 * reuses one descriptor for several controls; the host reads only what the
 * kind needs. The record handed over must be the whole union. */
#define HOST_DESC_EDIT 1   /* "EditControl": width in characters */
#define HOST_DESC_BUTTON 2 /* "ButtonControl": width in characters */
#define HOST_DESC_NUMBER 2 /* "NumControl" (LWT_INTEGER): nothing more; an integer value */
#define HOST_DESC_BOOL 8   /* "BoolControl" (LWT_BOOLEAN): nothing more */
#define HOST_DESC_TEXT 12  /* "TextControl" (LWT_TEXT): lines ended by a NULL entry */
typedef struct HostWidthDesc {
  int type; /* HOST_DESC_EDIT or HOST_DESC_BUTTON */
  int width;
} HostWidthDesc;
typedef struct HostTextDesc {
  int type;          /* HOST_DESC_TEXT */
  const char **text; /* read during addControl only */
} HostTextDesc;
typedef union HostControlDesc {
  int type;
  HostWidthDesc edit;
  HostWidthDesc button;
  HostTextDesc text;
  unsigned char hostKinds[48]; /* the host's larger kinds, which the plug-in does not add */
} HostControlDesc;

#define HOST_PANF_BLOCKING 1 /* open returns when the user closes the panel */
#define HOST_PANF_CANCEL 2   /* with OK and Cancel buttons */

typedef struct HostPanelServices {
  /* A new, empty panel titled `title` (copied, never written); `reserved`
   * is NULL. NULL when the host cannot make one. The host owns the panel. */
  HostPanel *(*create)(char *title, void *reserved);
  /* Releases a panel and its controls. */
  void (*destroy)(HostPanel *panel);
  /* Shows the panel. With HOST_PANF_BLOCKING|HOST_PANF_CANCEL it returns
   * when the user closes it: non-zero after OK, 0 after Cancel. Control
   * event functions run on this thread meanwhile. */
  int (*open)(HostPanel *panel, int flags);
  /* The host's; the plug-in calls none of the next five. */
  int (*handle)(HostPanel *panel, int flags);
  void (*draw)(HostPanel *panel, int drawMode);
  void (*close)(HostPanel *panel);
  void (*get)(HostPanel *panel, int tag, void *value);
  void (*set)(HostPanel *panel, int tag, void *value);
  /* Adds a control of kind `kindName` ("EditControl", "ButtonControl",
   * "TextControl", "BoolControl"); `desc` and `label` are read during the
   * call only. Returns the control, owned by the panel; NULL on failure. */
  HostControl *(*addControl)(HostPanel *panel, char *kindName, HostControlDesc *desc, char *label);
  HostControl *(*nextControl)(HostPanel *panel, HostControl *control); /* never called */
  void *drawFuncs;                                                     /* never used */
  void *userData;                                                      /* never used */
  /* The panel subsystem's global lookup. The host may hand the record over
   * with it NULL and asks each plug-in to set it to its own global lookup
   * before relying on it; the plug-in does so at every activation. */
  HostGlobalFunc globalFun;
} HostPanelServices;

/* ---- Scene block load and save (LWLoadState, LWSaveState) --------------- */

#define HOST_IO_OBJECT 0
#define HOST_IO_SCENE 1 /* scene data, text: one line per call of a value function */

typedef unsigned int HostBlockId;
typedef struct HostBlockIdent {
  HostBlockId id;
  const char *token;
} HostBlockIdent;

/* Reads the instance's scene block. Each value read takes the data handle
 * first and returns how many values it read into `dest`: in a scene, those
 * found on the next line, 0 at the end of the block (the destination is
 * then untouched). The plug-in uses readFP and readI4, one value a call. */
typedef struct HostLoadState {
  int ioMode; /* HOST_IO_SCENE */
  void *readData;
  int (*read)(void *readData, char *dest, int length);
  int (*readI1)(void *readData, char *dest, int count);
  int (*readI2)(void *readData, short *dest, int count);
  int (*readI4)(void *readData, int *dest, int count);
  int (*readU1)(void *readData, unsigned char *dest, int count);
  int (*readU2)(void *readData, unsigned short *dest, int count);
  int (*readU4)(void *readData, unsigned int *dest, int count);
  int (*readFP)(void *readData, float *dest, int count);
  int (*readStr)(void *readData, char *dest, int maximum);
  HostBlockId (*readID)(void *readData, const HostBlockIdent *ids);
  HostBlockId (*findBlk)(void *readData, const HostBlockIdent *ids);
  void (*endBlk)(void *readData);
  int (*depth)(void *readData);
  int (*readDP)(void *readData, double *dest, int count);
} HostLoadState;

/* Appends values to the instance's scene block; in a scene each call of a
 * value function writes its values on a line of their own. The plug-in uses
 * writeFP and writeI4, one value a call. */
typedef struct HostSaveState {
  int ioMode; /* HOST_IO_SCENE */
  void *writeData;
  void (*write)(void *writeData, const char *source, int length);
  void (*writeI1)(void *writeData, const char *source, int count);
  void (*writeI2)(void *writeData, const short *source, int count);
  void (*writeI4)(void *writeData, const int *source, int count);
  void (*writeU1)(void *writeData, const unsigned char *source, int count);
  void (*writeU2)(void *writeData, const unsigned short *source, int count);
  void (*writeU4)(void *writeData, const unsigned int *source, int count);
  void (*writeFP)(void *writeData, const float *source, int count);
  void (*writeStr)(void *writeData, const char *text);
  void (*writeID)(void *writeData, const HostBlockIdent *id);
  void (*beginBlk)(void *writeData, const HostBlockIdent *id, int leaf);
  void (*endBlk)(void *writeData);
  int (*depth)(void *writeData);
  void (*writeDP)(void *writeData, const double *source, int count);
} HostSaveState;

/* ---- The master handler ("MasterHandler", LWMasterHandler) -------------- */

/* Event codes delivered to a master handler. */
#define HOST_EVENT_FRAME_STARTED 265   /* 0x109: a frame starts rendering */
#define HOST_EVENT_FRAME_DONE 272      /* 0x110: a frame has been rendered */
#define HOST_EVENT_RENDER_STARTING 273 /* 0x111: a sequence is about to render */
#define HOST_EVENT_RENDER_DONE 274    /* 0x112: the sequence has completed (also on render nodes) */
#define HOST_EVENT_RENDER_ABORTED 291 /* 0x123: the user aborted */

/* What the host passes with each event (LWMasterAccess); read during the
 * call only. The plug-in reads `eventCode` alone. */
typedef struct HostMasterAccess {
  int eventCode;
  void *eventData; /* the host's */
  void *data;      /* the host's, handed to the three command functions */
  /* The host's command functions; never called. */
  unsigned int (*lookup)(void *data, const char *commandName);
  int (*execute)(void *data, unsigned int command, int argc, const void *argv, void *result);
  int (*evaluate)(void *data, const char *command);
} HostMasterAccess;

/* The instance callbacks (LWInstanceFuncs): the record is the host's, the
 * plug-in fills it. The host holds an instance as an opaque handle from
 * create to destroy and calls these on its own threads, never two at once
 * for the same instance. A callback that can fail returns an error text
 * (static, owned by the plug-in); NULL means success. */
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

/* The item callbacks (LWItemFuncs): the scene items an instance uses. The
 * record is the host's; a plug-in that uses no items leaves all three NULL.
 * The master handler leaves the record as the host gave it. */
typedef struct HostItemFuncs {
  const void **(*useItems)(void *instance);
  void (*changeID)(void *instance, const void **ids);
  void (*changeName)(void *instance, const void *data);
} HostItemFuncs;

#define HOST_MASTER_TYPE_SCENE 0 /* LWMAST_SCENE: instances are saved and loaded with the scene */
#define HOST_MASTER_RECEIVE_NOTIFICATIONS 2u /* LWMASTF_RECEIVE_NOTIFICATIONS */

/* The "MasterHandler" record, owned by the host and filled by activation.
 * `instanceFuncs` points to a record owned by the host. */
typedef struct HostMasterHandler {
  HostInstanceFuncs *instanceFuncs;
  HostItemFuncs *itemFuncs; /* left as the host gave it */
  int type;                 /* HOST_MASTER_TYPE_SCENE */
  /* Handles one event; returns 0.0. May block for the plug-in's network
   * I/O, bounded by its time-outs. Never throws. */
  double (*event)(void *instance, const HostMasterAccess *access);
  /* Flag word; HOST_MASTER_RECEIVE_NOTIFICATIONS asks for the render events. */
  unsigned int (*flags)(void *instance);
} HostMasterHandler;

/* The "MasterInterface" record (LWInterface): the host names the instance,
 * the plug-in fills the rest. A NULL panel tells the host the plug-in has
 * shown its own (or, on a render node, that there is none). */
typedef struct HostMasterInterface {
  void *instance;
  void *panel; /* an LWXPanelID for the host to show; NULL for none */
  const char *(*options)(void *instance);
  const char *(*command)(void *instance, const char *command);
} HostMasterInterface;

/* ---- Image filter ("ImageFilterHandler", activated with version 4) ----
 * The host calls `process` once for every rendered frame, after the frame is
 * rendered and before it is saved, on the render's thread, for each image
 * filter the artist added to the scene (Effects, Processing). */

#define HOST_IMAGE_FILTER_CLASS "ImageFilterHandler"

/* Buffer types of HostFilterAccess.getLine (LWBUF_RED ... LWBUF_ALPHA). */
#define HOST_BUFFER_RED 32
#define HOST_BUFFER_GREEN 33
#define HOST_BUFFER_BLUE 34
#define HOST_BUFFER_ALPHA 35

/* The frame as the filter sees it (LWFilterAccess): the host's, valid only
 * during the call of `process`. */
typedef struct HostFilterAccess {
  int width, height; /* pixels */
  int frame;         /* the frame being filtered */
  double start, end; /* the frame's times, in seconds */
  /* One scanline (y = 0 the top) of `width` floats of one buffer
   * (HOST_BUFFER_*), owned by the host; NULL when that line is not
   * available. Lines are not contiguous: ask for each. Values are the
   * rendered floats: nominally 0..1, possibly above, below or not a number. */
  float *(*getLine)(int type, int y);
  /* Write the output pixel (x, y). The filter must set every pixel of the
   * output, also one it does not change: a pixel never set is undefined. The
   * input lines do not change as the output is written. */
  void (*setRGB)(int x, int y, const float rgb[3]);
  void (*setAlpha)(int x, int y, float alpha);
  void *monitor; /* the host's progress monitor; may be NULL; left alone */
} HostFilterAccess;

/* The "ImageFilterHandler" record (LWImageFilterHandler), owned by the host
 * and filled by activation. */
typedef struct HostImageFilterHandler {
  HostInstanceFuncs *instanceFuncs;
  /* NULL when the host is the modeling application: test it before filling
   * it. */
  HostItemFuncs *itemFuncs;
  /* Filters one frame; the host waits for it on the render's thread. */
  void (*process)(void *instance, const HostFilterAccess *access);
  /* Extra buffers wanted; 0 asks for none (red, green, blue and alpha always
   * come). */
  unsigned int (*flags)(void *instance);
} HostImageFilterHandler;

/* ---- Color space ("LWColorSpace", LWColorSpaceFuncs) ----------------------
 * The renderer works in linear light; the host converts a frame to the output
 * color space only when it saves it. NULL from the lookup in a host without
 * color spaces: linear, no conversion. Later hosts append members after
 * `setColorSpace`; the plug-in calls nameToColorSpace, colorSpaceName and
 * getPixelConversionRGB. */

#define HOST_COLOR_SPACE_NAME "LWColorSpace"

#define HOST_COLOR_SPACE_LINEAR 0 /* lwcs_linear */
#define HOST_COLOR_SPACE_SRGB 1
#define HOST_COLOR_SPACE_REC709 2
#define HOST_COLOR_SPACE_CINEON 3
#define HOST_COLOR_SPACE_CIEXYZ 4
#define HOST_COLOR_SPACE_TYPE_OUTPUT 6 /* lwcst_output: the saved files' color space */
#define HOST_CONVERSION_TO_LINEAR 0
#define HOST_CONVERSION_FROM_LINEAR 1

/* Converts one pixel's red, green and blue with the `lookup` that
 * getPixelConversionRGB wrote. */
typedef void HostPixelConversionFunc(void *lookup, float *in, float *out);

typedef struct HostColorSpaceFuncs {
  int (*nameToColorSpace)(const char *name);
  void (*loadPixelLookupTable)(void); /* never called */
  /* The conversion of `colorSpace` in direction HOST_CONVERSION_*, NULL
   * when none is known; writes the datum it takes into *lookup. */
  HostPixelConversionFunc *(*getPixelConversionRGB)(int colorSpace, int conversion, void **lookup);
  HostPixelConversionFunc *(*getPixelConversionAlpha)(int colorSpace, int conversion,
                                                      void **lookup);
  const char *(*colorSpaceName)(int type); /* type: HOST_COLOR_SPACE_TYPE_* */
  void (*colorSpaceFile)(void);            /* never called, nor the four pop-up helpers */
  void (*popupHelpers[4])(void);
  void (*setColorSpace)(void);
} HostColorSpaceFuncs;

#ifdef __cplusplus
}
#endif

#endif /* PINGWELL_HOST_INTERFACE_H */
