#pragma once
// Cuts a byte stream into LF-ended lines, with a bound on the line length:
// a peer that sends an endless line is a protocol error, not a memory leak.
#include <QByteArray>
#include <optional>

namespace cardproto {

class LineFramer {
public:
    explicit LineFramer(int maxLineBytes);

    // False once the unfinished line exceeds the bound (the framer is then
    // broken for good; the connection should be closed).
    bool append(const QByteArray& bytes);
    bool overflowed() const { return m_overflow; }
    // The next complete line without its LF (and without a CR before it).
    std::optional<QByteArray> takeLine();
    bool hasLine() const;

private:
    int m_max;
    QByteArray m_buffer;
    qsizetype m_start = 0;    // first byte not yet taken
    bool m_overflow = false;
};

}  // namespace cardproto
