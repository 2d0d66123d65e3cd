// The panel services, with a scripted user who edits the options panel.
#ifndef PINGWELL_HOST_PANEL_H
#define PINGWELL_HOST_PANEL_H

#include <memory>
#include <string>
#include <vector>

#include "plugin/host_interface.h"

// The host's own panel type, opaque to the module.
struct HostPanel;

namespace pingwell_host {

// What the scripted user does with the next panel that is opened: changes
// some controls, maybe clicks "Get Token" and "Send Test Message", then
// presses OK or Cancel.
struct ScriptedUser {
  struct Edit {
    bool isSwitch = false;  // Bool control; else an Edit control
    std::string label;      // the control's label without surrounding blanks
    std::string text;       // for an Edit control
    int state = 0;          // for a Bool control
  };
  std::vector<Edit> edits;
  bool clickGetToken = false;
  bool clickSendTest = false;
  bool pressOk = false;
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
  int actAsUser(HostPanel& panel);

  HostPanelServices record_{};
  std::vector<std::unique_ptr<HostPanel>> panels_;
  bool inSession_ = false;
  int panelsOpened_ = 0;
  ScriptedUser user_;
  std::string error_;
};

}  // namespace pingwell_host

#endif
