#pragma once
// Runs the real pluvane-cardserver for a test: on 127.0.0.1 with a port the
// server picks, waiting until it says where it listens. The destructor
// always stops it.
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace cardserver::testing {

class CardServerProcess {
public:
    CardServerProcess() = default;
    ~CardServerProcess();
    CardServerProcess(const CardServerProcess&) = delete;
    CardServerProcess& operator=(const CardServerProcess&) = delete;

    // Starts the server with these arguments plus --listen 127.0.0.1:0 (unless
    // they hold a --listen). False, with the reason in error(), when it did
    // not say "Listening on" in time.
    bool start(const QStringList& arguments = {QStringLiteral("--demo")}, int timeoutMs = 10000);
    // RLIMIT_NOFILE of the server started next (0: inherited).
    void setDescriptorLimit(int descriptors) { m_descriptorLimit = descriptors; }
    // User plus system CPU time the server has used, from /proc.
    double cpuSeconds() const;
    // Resident memory of the server, from /proc.
    qint64 residentBytes() const;
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    // SIGTERM and wait for a clean exit (true when it exited with status 0).
    bool terminate(int timeoutMs = 5000);
    void kill();  // SIGKILL, at once
    qint64 processId() const { return m_process.processId(); }
    int exitCode() const { return m_process.exitCode(); }

    // Everything the server wrote to stderr so far (waits briefly for more).
    QString log();
    // Waits until the log matches pattern (true), the server ends or
    // timeoutMs pass. Lines after "Listening on" (the cards' inputs, say)
    // can come a while later on a busy machine.
    bool waitForLog(const QRegularExpression& pattern, int timeoutMs = 10000);
    // Takes what the server has logged without waiting for more, so that a
    // busy server never blocks on a full stderr pipe.
    void drainLog();
    QString error() const { return m_error; }
    static QString executable();

private:
    QProcess m_process;
    QString m_host;
    quint16 m_port = 0;
    int m_descriptorLimit = 0;
    QString m_log;
    QString m_error;
};

}  // namespace cardserver::testing
