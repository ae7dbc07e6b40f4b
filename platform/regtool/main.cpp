// pluvane-reg: inspect and fix the settings hive with the verbs of the
// Windows reg tool.
#include "RegCommands.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    if (application.arguments().mid(1) == QStringList{QStringLiteral("--version")}) {
        out << "pluvane-reg " PLUVANE_VERSION "\n";
        return 0;
    }
    regtool::Console console{out, err, [&](const QString& question) {
                                 out << question << " " << Qt::flush;
                                 if (!::isatty(STDIN_FILENO)) {
                                     out << "\n";
                                     return false;
                                 }
                                 const QString answer = in.readLine().trimmed().toLower();
                                 return answer == QLatin1String("y") || answer == QLatin1String("yes");
                             }};
    const int code = regtool::runRegCommand(application.arguments().mid(1), console);
    out.flush();
    err.flush();
    return code;
}
