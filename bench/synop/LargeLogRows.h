#pragma once
// pluvane-synop --store as a listener's log has grown: into a log of about
// a million reports, beside the same run into a new log.
#include <string>
#include <vector>

namespace bench {

// `stored` is a log the tool wrote from `input`; it is copied and grown to
// about a million reports (its rows again, a month apart each time).
// `common` is the tool and the arguments before --received.
void largeLogRows(const std::vector<std::string>& common, const std::string& input, const std::string& stored,
                  const std::string& workDir);

}  // namespace bench
