#include "StandardOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace synop::cli {

bool StandardOutput::flush()
{
    if (!failed_ && !pending_.empty()) {
        if (std::fwrite(pending_.data(), 1, pending_.size(), stdout) != pending_.size() || std::fflush(stdout) != 0) {
            failed_ = true;
            error_ = std::strerror(errno);
        }
    }
    pending_.clear();
    return !failed_;
}

StandardOutput& standardOutput()
{
    static StandardOutput output;
    return output;
}

}  // namespace synop::cli
