#pragma once
// Standard output for the writers: reports gather in one buffer that leaves
// in large writes, and whenever the input pauses (flush), so that a live
// pipe still sees each report as soon as it is complete. A failed write (a
// full disk) is remembered and said at the end, never taken for success.
#include <string>
#include <string_view>

namespace synop::cli {

class StandardOutput {
public:
    void write(std::string_view bytes)
    {
        const size_t size = bytes.size();
        if (pending_.empty() && size >= kWriteSize) {
            put(bytes.data(), size);  // large enough to leave as it is, without a copy
            return;
        }
        // Room for a whole write, made once: grown step by step, a buffer
        // this size would be copied and its new pages touched at each step.
        if (pending_.capacity() < kWriteSize + size) pending_.reserve(kWriteSize + size);
        pending_.append(bytes.data(), size);
        if (pending_.size() >= kWriteSize) flush();
    }
    // Everything written so far to the file or pipe; false once a write failed.
    bool flush();
    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }

private:
    void put(const char* data, size_t size);
    static constexpr size_t kWriteSize = 1 << 17;
    std::string pending_;
    bool failed_ = false;
    std::string error_;
};

StandardOutput& standardOutput();

}  // namespace synop::cli
