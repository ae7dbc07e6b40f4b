#include "StandardOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace synop::cli {

void StandardOutput::put(const char* data, size_t size)
{
    // Straight to the file descriptor: through stdio a large piece left in
    // two or three writes. Nothing else in the program writes to stdout.
    while (!failed_ && size > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, size);
        if (written > 0) {
            data += written;
            size -= static_cast<size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd out{STDOUT_FILENO, POLLOUT, 0};  // a non-blocking pipe left to us: wait for room
            ::poll(&out, 1, -1);
        } else {
            failed_ = true;
            error_ = std::strerror(written < 0 ? errno : EIO);
        }
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
