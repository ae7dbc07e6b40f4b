// pluvane-synop-view: loads the SYNOP component the way the front end does
// and streams text files into it, a few hundred characters at a time, as a
// teletype would deliver them.
#include "synopcomponent/api/ComponentFactory.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the SYNOP component's window over teletype text files."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Teletype text to decode."));
    const QCommandLineOption left(QStringLiteral("left"), QStringLiteral("Window left edge in twips."), QStringLiteral("twips"), QStringLiteral("600"));
    const QCommandLineOption top(QStringLiteral("top"), QStringLiteral("Window top edge in twips."), QStringLiteral("twips"), QStringLiteral("600"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"), QStringLiteral("Quit after this many milliseconds."), QStringLiteral("ms"));
    parser.addOptions({left, top, quitAfter});
    parser.process(app);

    synop::ComponentCreation created = synop::createComponent(QLatin1String(synop::kSynopComponentClassId));
    if (!created.instance) {
        std::fprintf(stderr, "pluvane-synop-view: component not available: %s\n", qPrintable(created.failure));
        return 1;
    }
    synop::ISynopComponent& component = *created.instance;
    int32_t available = 0;
    if (component.OpenDecoder(0, &available) != 0 || !available) {
        std::fprintf(stderr, "pluvane-synop-view: the decoder did not open\n");
        return 1;
    }
    component.putApplicationName("Pluvane");
    component.putWindowTop(parser.value(top).toInt());
    component.putWindowLeft(parser.value(left).toInt());
    component.putOption1(true);

    QByteArray text;
    for (const QString& name : parser.positionalArguments()) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "pluvane-synop-view: cannot read %s: %s\n", qPrintable(name), qPrintable(file.errorString()));
            return 1;
        }
        text += file.readAll();
    }
    qsizetype at = 0;
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (at >= text.size()) {
            feeder.stop();
            return;
        }
        const QByteArray chunk = text.mid(at, 300);
        at += chunk.size();
        component.FeedText(chunk.constData());
    });
    feeder.start(20);
    if (parser.isSet(quitAfter)) QTimer::singleShot(parser.value(quitAfter).toInt(), &app, &QApplication::quit);
    const int status = app.exec();
    component.CloseDecoder(0);
    return status;
}
