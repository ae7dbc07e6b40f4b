#include "TextFileFeed.h"

#include <QFile>

namespace cardserver {

namespace {
constexpr int kPauseSeconds = 2;  // the feed's idle pieces last a second each
}

std::unique_ptr<TextFileFeed> TextFileFeed::open(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    if (file.size() > kMaxFileBytes) {
        *error = QStringLiteral("%1 is larger than %2 MB").arg(path).arg(kMaxFileBytes >> 20);
        return nullptr;
    }
    const QString text = QString::fromUtf8(file.readAll());
    QStringList lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype lf = text.indexOf(QLatin1Char('\n'), start);
        if (lf < 0) lf = text.size() - 1;
        lines << text.mid(start, lf - start + 1);
        start = lf + 1;
    }
    if (lines.join(QString()).trimmed().isEmpty()) {
        *error = QStringLiteral("%1 holds no text").arg(path);
        return nullptr;
    }
    return std::unique_ptr<TextFileFeed>(new TextFileFeed(path, std::move(lines)));
}

TextFileFeed::TextFileFeed(QString path, QStringList lines)
    : m_path(std::move(path)), m_lines(std::move(lines))
{
}

QString TextFileFeed::next()
{
    if (m_pause > 0) {
        --m_pause;
        return {};
    }
    const QString line = m_lines.at(m_next++);
    if (m_next == m_lines.size()) {
        m_next = 0;
        m_pause = kPauseSeconds;
    }
    return line;
}

}  // namespace cardserver
