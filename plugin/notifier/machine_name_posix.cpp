#include <unistd.h>

#include "plugin/notifier/machine_name.h"

namespace pingwell {

std::string machineName() {
  // gethostname(2) may leave a cut name unterminated.
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace pingwell
