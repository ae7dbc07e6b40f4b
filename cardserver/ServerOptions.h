#pragma once
// The card server's command line.
#include "Log.h"
#include "ServerLimits.h"

#include <QHostAddress>
#include <QMap>
#include <QStringList>
#include <optional>

namespace cardserver {

struct ServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 33234;
    // Source of each card's inputs: card number -> input (1..4, 0 = all) -> source, as named on the command line.
    QMap<int, QMap<int, QString>> cards;
    double timeScale = 1;  // signal seconds per wall-clock second
    ServerLimits limits;
    QString secretFile;  // empty: no shared secret
    bool observersMayTune = false;  // observers may retune a card, not only watch it
    LogLevel logLevel = LogLevel::Normal;
    QString configFile;  // the configuration file read, if any
    bool showHelp = false;
    bool showVersion = false;
};

QString usageText();
// The configuration read when the command line names none:
// $PLUVANE_CARDSERVER_CONFIG if set (empty: none), else the system one.
QString defaultConfigPath();
// nullopt with the reason in *error for a command line that cannot be used.
std::optional<ServerOptions> parseOptions(const QStringList& arguments, QString* error);

}  // namespace cardserver
