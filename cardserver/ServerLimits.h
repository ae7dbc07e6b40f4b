#pragma once
// What one peer may cost the server, so that no peer can starve the others.
#include <QtGlobal>

namespace cardserver {

struct ServerLimits {
    int maxConnections = 64;
    // A connection that opens no card and asks for no search is closed after this.
    int idleMs = 30000;
    // A connection whose pending output has not moved for this long is dropped:
    // a session holder that stopped reading must not keep its card.
    int stallMs = 30000;
    qint64 maxPendingPerConnection = 1 << 20;
    // Beyond this over all connections, every connection holding more than
    // kFairPendingBytes is dropped; one that reads holds next to nothing.
    qint64 maxPendingTotal = 32 << 20;
    static constexpr qint64 kFairPendingBytes = 64 * 1024;
};

}  // namespace cardserver
