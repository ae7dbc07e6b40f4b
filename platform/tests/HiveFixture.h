#pragma once
#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <gtest/gtest.h>

// Every test gets a hive file and a SYNOP station log of its own that do not exist yet.
class HiveFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_hivePath = QDir(m_dir.path()).filePath(QStringLiteral("hive.sqlite"));
        qputenv("PLUVANE_HIVE", m_hivePath.toLocal8Bit());
        qputenv("PLUVANE_SYNOP_LOG", QDir(m_dir.path()).filePath(QStringLiteral("reports.sqlite")).toLocal8Bit());
    }
    const QString& hivePath() const { return m_hivePath; }
    QString dirPath() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_hivePath;
};

// A file size limit of nothing stands in for a full disk, as root or not:
// every write that would grow a file fails, as on a full disk.
class FullDisk {
public:
    FullDisk() : m_previousSignal(std::signal(SIGXFSZ, SIG_IGN))
    {
        if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0) return;
        struct rlimit none = m_saved;
        none.rlim_cur = 0;
        m_full = ::setrlimit(RLIMIT_FSIZE, &none) == 0;
    }
    ~FullDisk()
    {
        if (m_full) ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousSignal);
    }
    bool full() const { return m_full; }

private:
    struct rlimit m_saved {};
    bool m_full = false;
    void (*m_previousSignal)(int);
};
