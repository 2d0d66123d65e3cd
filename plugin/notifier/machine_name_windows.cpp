#include <windows.h>

#include "plugin/notifier/machine_name.h"

namespace pingwell {

std::string machineName() {
  // The DNS host name, as the farm's other tools show the node.
  char name[256] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size)) return {};
  return std::string(name, size < sizeof name ? size : sizeof name - 1);
}

}  // namespace pingwell
