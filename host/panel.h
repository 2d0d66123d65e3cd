// The panel services, with a scripted user who edits the options panel.
#ifndef PINGWELL_HOST_PANEL_H
#define PINGWELL_HOST_PANEL_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugin/host_api/host_interface.h"

namespace pingwell_host {

enum class ControlKind { Edit, Button, Text, Bool, Number };

// The name the module asks for a kind by ("EditControl", ...).
const char* controlKindName(ControlKind kind);

// A control of the host's panel: what the module asked for and showed in
// it, and what the user left in it. The module sees only `base`;
// `base.priv` leads back here.
struct Control {
  HostControl base{};
  ControlKind kind = ControlKind::Edit;
  std::string label;  // as the module gave it
  int descType = 0;
  int descWidth = 0;  // of an Edit or Button descriptor
  std::vector<std::string> descText;
  std::string text;       // what an Edit control holds
  int state = 0;          // what a Bool or Number control holds
  std::string shownText;  // the text the module last set
  int shownValue = -1;    // the integer the module last set
  void* userData = nullptr;
  bool userDataSet = false;
  HostControlEventFunc onUse = nullptr;
};

}  // namespace pingwell_host

// The host's own panel type, opaque to the module. A destroyed panel is kept,
// marked destroyed and no longer usable, until the next options session ends
// (or the services are reset), so that what the module did with it can be
// looked at.
struct HostPanel {
  std::string title;
  std::vector<std::unique_ptr<pingwell_host::Control>> controls;
  bool madeInSession = false;
  int openFlags = -1;  // of the last open
  bool opened = false;
  bool destroyed = false;
};

namespace pingwell_host {

// What the scripted user does with the next panel that is opened: changes
// some controls, maybe clicks "Get Token" and "Send Test Message", then
// presses OK or Cancel.
struct ScriptedUser {
  struct Edit {
    bool isSwitch = false;  // Bool control; else an Edit control
    bool isNumber = false;  // Number control
    std::string label;      // the control's label without surrounding blanks
    std::string text;       // for an Edit control
    int state = 0;          // for a Bool or Number control
  };
  std::vector<Edit> edits;
  bool clickGetToken = false;
  bool clickSendTest = false;
  bool pressOk = false;
};

// A host that gets things wrong, for tests of how the module copes.
struct PanelFaults {
  bool refusePanels = false;       // create gives no panel
  std::string refuseControlLabel;  // addControl gives no control of this label
  bool sloppyTextGet = false;      // a text fills the buffer whole, unterminated
};

class PanelServices {
 public:
  static PanelServices& get();

  HostPanelServices* record() { return &record_; }

  // From now on an opened panel is handled by `user`.
  void beginSession(const ScriptedUser& user);
  // Ends the session: releases the panels made during it and returns what
  // went wrong for the scripted user (empty when nothing did).
  std::string endSession();

  // Opens a panel the module handed back to the host (the same way the
  // module would open it itself). False when the panel is not the host's.
  bool openForModule(HostPanel* panel);

  // Outside a session, a panel opened is handled by whatever user `user`
  // gives at that moment; a null function leaves it to nobody (cancelled).
  void attendEveryPanel(std::function<ScriptedUser()> user) { attendant_ = std::move(user); }
  PanelFaults& faults() { return faults_; }
  // The panels made and not yet released, destroyed ones included, oldest
  // first.
  const std::vector<std::unique_ptr<HostPanel>>& panels() const { return panels_; }
  // Back to how the host starts: no panels, no session, no attendant, no
  // faults, and the record's lookup unset.
  void reset();

 private:
  PanelServices();
  static HostPanel* create(char* title, void* reserved);
  static void destroy(HostPanel* panel);
  static int open(HostPanel* panel, int flags);
  static int handle(HostPanel* panel, int flags);
  static void draw(HostPanel* panel, int drawMode);
  static void close(HostPanel* panel);
  static void getAttribute(HostPanel* panel, int tag, void* value);
  static void setAttribute(HostPanel* panel, int tag, void* value);
  static HostControl* addControl(HostPanel* panel, char* kindName, HostControlDesc* desc,
                                 char* label);
  static HostControl* nextControl(HostPanel* panel, HostControl* control);

  bool owns(HostPanel* panel) const;
  int actAsUser(HostPanel& panel, const ScriptedUser& user);

  HostPanelServices record_{};
  std::vector<std::unique_ptr<HostPanel>> panels_;
  bool inSession_ = false;
  int panelsOpened_ = 0;
  ScriptedUser user_;
  std::string error_;
  std::function<ScriptedUser()> attendant_;
  PanelFaults faults_;
};

}  // namespace pingwell_host

#endif
