#pragma once
// Lines about what the clients of one host do, bounded: a host that
// connects, sends garbage or is refused thousands of times a second cannot
// fill the server's log. Each host gets so many lines in any window of
// 10 s, then one line saying that further ones are left out, and when the
// window ends one more saying how many were.
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

namespace cardserver {

class ClientLog : public QObject {
public:
    static constexpr int kLinesPerWindow = 100;
    static constexpr int kWindowMs = 10000;

    explicit ClientLog(QObject* parent = nullptr);
    // A server that stops says what its hosts' open windows left out.
    ~ClientLog() override;

    // An event (not logged when quiet) and a warning (always logged).
    void line(const QString& host, const QString& text) { write(host, text, false); }
    void warning(const QString& host, const QString& text) { write(host, text, true); }

private:
    struct Host {
        QElapsedTimer window;
        int logged = 0;
        int leftOut = 0;
    };
    void write(const QString& host, const QString& text, bool warning);
    // Says how many lines a host's ended window left out, and forgets it.
    void endWindow(const QString& host, const Host& state);
    void endExpiredWindows();

    QHash<QString, Host> m_hosts;
    QTimer m_sweep;
};

}  // namespace cardserver
