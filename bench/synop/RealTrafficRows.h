#pragma once
// pluvane-synop on real traffic in the ways users run it, beside its JSON
// run to a file on the same text: the rows need no peer.
#include <string>

namespace bench {

// The real Ogimet fortnight ($PLUVANE_SHARED_DATA/synop-real/...); nothing
// when it is not there.
void realTrafficToolRows(const std::string& tool, const std::string& workDir);

}  // namespace bench
