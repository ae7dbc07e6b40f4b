#include "StandardOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace synop::cli {

void StandardOutput::put(const char* data, size_t size)
{
    if (failed_ || size == 0) return;
    if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
}

bool StandardOutput::flush()
{
    put(pending_.data(), pending_.size());
    pending_.clear();
    return !failed_;
}

StandardOutput& standardOutput()
{
    static StandardOutput output;
    return output;
}

}  // namespace synop::cli
