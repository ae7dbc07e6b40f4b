#pragma once
// Already-decoded text as a station sends it, piece by piece.
#include <QString>

namespace cardserver {

class TextFeed {
public:
    virtual ~TextFeed() = default;
    // The next piece to send; empty means the station is idle for a while.
    virtual QString next() = 0;
    virtual QString describe() const = 0;
};

}  // namespace cardserver
