// .reg import over one hex value continued over N lines, N growing by 4:
// the entry reader and the whole import against the copy-per-line join of
// the earlier import (kept here as the peer), timed in the same run.
//   reg_import_bench [LARGEST_N]   (default 320000; the peer stops at 80000)
#include "platform/regtool/RegImport.h"
#include "Milliseconds.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

namespace {

QByteArray continuedValue(int lines)
{
    QByteArray text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench]\r\n"
                      "\"big\"=hex:00,\\\r\n";
    text.reserve(text.size() + lines * 8);
    for (int i = 1; i < lines; ++i) text += "  ab,\\\r\n";
    return text + "  cd\r\n";
}

// The earlier import's join: each continuation copied the whole line so far.
qsizetype copyPerLineJoin(const QByteArray& bytes)
{
    const QStringList lines = QString::fromUtf8(bytes).split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    qsizetype total = 0;
    for (int i = 1; i < lines.size(); ++i) {
        QString line = lines[i].trimmed();
        while (line.endsWith(QLatin1Char('\\')) && i + 1 < lines.size()) line = line.chopped(1) + lines[++i].trimmed();
        total += line.size();
    }
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    const int largest = argc > 1 ? std::atoi(argv[1]) : 320000;
    constexpr int kPeerLargest = 80000;
    QTemporaryDir dir;
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    regtool::Console console{outStream, errStream, [](const QString&) { return false; }};

    std::printf("%9s %10s %12s %12s %12s\n", "lines", "bytes", "entries ms", "import ms", "peer join ms");
    double firstEntries = 0, firstPeer = 0;
    int first = 0;
    for (int lines = 5000; lines <= largest; lines *= 4) {
        const QByteArray text = continuedValue(lines);
        qsizetype joined = 0;
        const double entries = milliseconds([&] { joined = regtool::regFileEntries(text)->size(); });
        qputenv("PLUVANE_HIVE", QDir(dir.path()).filePath(QStringLiteral("h%1.sqlite").arg(lines)).toLocal8Bit());
        int code = 0;
        const double import = milliseconds([&] { code = regtool::importRegText(text, QStringLiteral("bench"), console); });
        double peer = -1;
        if (lines <= kPeerLargest) peer = milliseconds([&] { joined += copyPerLineJoin(text); });
        if (code != 0 || joined == 0) {
            std::fprintf(stderr, "import failed: %s\n", qPrintable(err));
            return 1;
        }
        std::printf("%9d %10lld %12.1f %12.1f %12.1f", lines, static_cast<long long>(text.size()), entries, import, peer);
        if (peer > 0) std::printf("   peer/entries %.0fx", peer / entries);
        std::printf("\n");
        if (!first) {
            first = lines;
            firstEntries = entries;
            firstPeer = peer;
        } else {
            std::printf("%9s size x%d: entries x%.1f", "", lines / first, entries / firstEntries);
            if (peer > 0) std::printf(", peer x%.1f", peer / firstPeer);
            std::printf("  (linear = x%d, quadratic = x%d)\n", lines / first, (lines / first) * (lines / first));
        }
    }
    return 0;
}
