#pragma once
// How long a process's threads have waited for a CPU while ready to run, from
// the scheduler's own account (/proc/PID/task/*/schedstat, second field).
// A test that bounds a delay in wall time adds what the processes on its path
// waited, so that a loaded machine widens the bound and an idle one keeps it
// tight: the test bounds the program's behaviour, not the machine's speed.
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace platform::testing {

// Seconds, summed over the threads the process has now; 0 where the kernel
// keeps no such account.
inline double secondsWaitingForCpu(qint64 pid)
{
    const QString taskDir = QStringLiteral("/proc/%1/task").arg(pid);
    double waited = 0;
    const QStringList tasks = QDir(taskDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile stat(taskDir + QLatin1Char('/') + task + QStringLiteral("/schedstat"));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> fields = stat.readAll().simplified().split(' ');
        if (fields.size() >= 2) waited += fields.at(1).toDouble() / 1e9;
    }
    return waited;
}

}  // namespace platform::testing
