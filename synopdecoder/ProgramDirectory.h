#pragma once
// Where the running program lies, for the files installed beside it (the
// station lists in share/pluvane, the full command line in libexec/).
#include <string>

namespace synop {

// The program's folder, ending in '/', as the kernel names it (links
// resolved); empty when it cannot be known.
std::string programDirectory();

}  // namespace synop
