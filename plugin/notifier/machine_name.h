#pragma once
// The name of the machine the host runs on, as a render farm knows its nodes.
#include <string>

namespace pingwell {

// This machine's host name; empty when the system does not tell it.
// Throws only std::bad_alloc.
std::string machineName();

}  // namespace pingwell
