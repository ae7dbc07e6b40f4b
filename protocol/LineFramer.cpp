#include "LineFramer.h"

namespace cardproto {

LineFramer::LineFramer(int maxLineBytes) : m_max(maxLineBytes) {}

bool LineFramer::append(const QByteArray& bytes)
{
    if (m_overflow) return false;
    if (m_start > 0 && m_start * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    m_buffer.append(bytes);
    // Every complete line must fit; so must the unfinished tail.
    qsizetype lineStart = m_start;
    for (;;) {
        const qsizetype lf = m_buffer.indexOf('\n', lineStart);
        if (lf < 0) break;
        if (lf - lineStart > m_max) m_overflow = true;
        lineStart = lf + 1;
    }
    if (m_buffer.size() - lineStart > m_max) m_overflow = true;
    return !m_overflow;
}

bool LineFramer::hasLine() const
{
    return !m_overflow && m_buffer.indexOf('\n', m_start) >= 0;
}

std::optional<QByteArray> LineFramer::takeLine()
{
    if (m_overflow) return std::nullopt;
    const qsizetype lf = m_buffer.indexOf('\n', m_start);
    if (lf < 0) return std::nullopt;
    QByteArray line = m_buffer.mid(m_start, lf - m_start);
    m_start = lf + 1;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    if (line.endsWith('\r')) line.chop(1);
    return line;
}

}  // namespace cardproto
