#pragma once
#include <QDir>
#include <QTemporaryDir>
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
