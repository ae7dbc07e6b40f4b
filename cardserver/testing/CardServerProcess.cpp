#include "CardServerProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <sys/resource.h>
#include <unistd.h>

namespace cardserver::testing {

QString CardServerProcess::executable() { return QStringLiteral(PLUVANE_CARDSERVER_PATH); }

CardServerProcess::~CardServerProcess()
{
    if (isRunning() && !terminate(3000)) kill();
}

bool CardServerProcess::start(const QStringList& arguments, int timeoutMs)
{
    QStringList args = arguments;
    if (!args.contains(QStringLiteral("--listen"))) args << QStringLiteral("--listen") << QStringLiteral("127.0.0.1:0");
    m_log.clear();
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    if (m_descriptorLimit > 0) {
        const rlim_t limit = rlim_t(m_descriptorLimit);
        m_process.setChildProcessModifier([limit] {
            const rlimit nofile{limit, limit};
            setrlimit(RLIMIT_NOFILE, &nofile);
        });
    }
    m_process.start(executable(), args);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(executable(), m_process.errorString());
        return false;
    }
    static const QRegularExpression listening(QStringLiteral(R"(^(?:\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )?Listening on (\S+):(\d+)\r?$)"),
                                              QRegularExpression::MultilineOption);
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        log();
        const auto match = listening.match(m_log);
        if (match.hasMatch()) {
            m_host = match.captured(1);
            m_port = quint16(match.captured(2).toUInt());
            return true;
        }
        if (m_process.state() == QProcess::NotRunning) break;
        m_process.waitForReadyRead(int(qMin<qint64>(100, deadline.remainingTime())));
    }
    m_error = QStringLiteral("the server did not report its port; its log:\n%1").arg(log());
    kill();
    return false;
}

QString CardServerProcess::log()
{
    m_process.setReadChannel(QProcess::StandardError);
    // Picks up what the server wrote without an event loop running.
    while (m_process.state() == QProcess::Running && m_process.waitForReadyRead(20)) {
    }
    m_log += QString::fromLocal8Bit(m_process.readAllStandardError());
    return m_log;
}

bool CardServerProcess::waitForLog(const QRegularExpression& pattern, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pattern.match(log()).hasMatch()) {
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) return false;
        m_process.waitForReadyRead(int(qMin<qint64>(100, deadline.remainingTime())));
    }
    return true;
}

void CardServerProcess::drainLog()
{
    m_process.setReadChannel(QProcess::StandardError);
    m_process.waitForReadyRead(0);
    m_log += QString::fromLocal8Bit(m_process.readAllStandardError());
}

bool CardServerProcess::terminate(int timeoutMs)
{
    if (!isRunning()) return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.terminate();
    if (!m_process.waitForFinished(timeoutMs)) return false;
    log();
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void CardServerProcess::kill()
{
    if (!isRunning()) return;
    m_process.kill();
    m_process.waitForFinished(3000);
}

namespace {

QList<QByteArray> procStat(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray text = file.readAll();
    // The command name may hold spaces; the fields after it do not.
    return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

}  // namespace

double CardServerProcess::cpuSeconds() const
{
    const auto fields = procStat(processId());
    if (fields.size() < 13) return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

qint64 CardServerProcess::residentBytes() const
{
    const auto fields = procStat(processId());
    if (fields.size() < 22) return -1;
    return fields[21].toLongLong() * sysconf(_SC_PAGESIZE);
}

}  // namespace cardserver::testing
