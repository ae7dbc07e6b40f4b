#pragma once
// A text file of already-decoded traffic, sent line by line and repeated
// after a pause, as a station repeats its schedule.
#include "card/TextFeed.h"

#include <QStringList>
#include <memory>

namespace cardserver {

class TextFileFeed : public TextFeed {
public:
    static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

    // nullptr with the reason in *error when the file cannot be used.
    static std::unique_ptr<TextFileFeed> open(const QString& path, QString* error);

    QString next() override;
    QString describe() const override { return QStringLiteral("text file %1").arg(m_path); }

private:
    TextFileFeed(QString path, QStringList lines);

    QString m_path;
    QStringList m_lines;  // each with its own line end
    qsizetype m_next = 0;
    int m_pause = 0;
};

}  // namespace cardserver
