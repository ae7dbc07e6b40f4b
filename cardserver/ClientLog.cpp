#include "ClientLog.h"

#include "Log.h"

namespace cardserver {

ClientLog::ClientLog(QObject* parent) : QObject(parent)
{
    // A host that went quiet still hears how many of its lines were left out.
    m_sweep.setInterval(kWindowMs / 4);
    connect(&m_sweep, &QTimer::timeout, this, &ClientLog::endExpiredWindows);
}

ClientLog::~ClientLog()
{
    for (auto it = m_hosts.cbegin(); it != m_hosts.cend(); ++it) endWindow(it.key(), *it);
}

void ClientLog::write(const QString& host, const QString& text, bool warning)
{
    auto found = m_hosts.find(host);
    if (found != m_hosts.end() && found->window.hasExpired(kWindowMs)) {
        endWindow(host, *found);
        m_hosts.erase(found);
        found = m_hosts.end();
    }
    if (found == m_hosts.end()) {
        found = m_hosts.insert(host, Host{});
        found->window.start();
        if (!m_sweep.isActive()) m_sweep.start();
    }
    Host& state = *found;
    if (state.logged >= kLinesPerWindow) {
        ++state.leftOut;
        return;
    }
    if (warning) logWarning(text);
    else logLine(text);
    if (++state.logged == kLinesPerWindow)
        logWarning(QStringLiteral("%1: further lines about its connections are left out for up to %2 s")
                       .arg(host)
                       .arg(kWindowMs / 1000));
}

void ClientLog::endWindow(const QString& host, const Host& state)
{
    if (state.leftOut > 0)
        logWarning(QStringLiteral("%1: %2 more lines about its connections were left out").arg(host).arg(state.leftOut));
}

void ClientLog::endExpiredWindows()
{
    for (auto it = m_hosts.begin(); it != m_hosts.end();) {
        if (it->window.hasExpired(kWindowMs)) {
            endWindow(it.key(), *it);
            it = m_hosts.erase(it);
        } else {
            ++it;
        }
    }
    if (m_hosts.isEmpty()) m_sweep.stop();
}

}  // namespace cardserver
