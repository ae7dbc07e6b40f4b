#include "SharedSecret.h"

#include <QFile>
#include <QMessageAuthenticationCode>
#include <QStandardPaths>

namespace cardctl {

QString sharedSecretPath()
{
    const QString fromEnvironment = qEnvironmentVariable("PLUVANE_CARD_SECRET_FILE");
    if (!fromEnvironment.isEmpty()) return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/pluvane/card-secret");
}

QByteArray readSharedSecret()
{
    QFile file(sharedSecretPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray secret = file.read(64 * 1024);
    // The server reads its file the same way, so one file serves both.
    while (secret.endsWith('\n') || secret.endsWith('\r')) secret.chop(1);
    return secret;
}

QByteArray answerChallenge(const QByteArray& secret, const QByteArray& challenge)
{
    return QMessageAuthenticationCode::hash(challenge, secret, QCryptographicHash::Sha256);
}

}  // namespace cardctl
