#include "SharedSecret.h"

#include <QFile>
#include <QMessageAuthenticationCode>
#include <QSet>
#include <QStandardPaths>
#include <mutex>

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
    // Still used, as the server uses its own, but a secret others can read
    // protects nothing: said once a run for each file.
    if (!secret.isEmpty() && (file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))) {
        static std::mutex mutex;
        static QSet<QString> told;
        std::lock_guard lock(mutex);
        if (!told.contains(file.fileName())) {
            told.insert(file.fileName());
            qWarning("The card secret file %s can be read by other accounts; anyone who reads it can use the cards "
                     "(chmod 600 %s)",
                     qPrintable(file.fileName()), qPrintable(file.fileName()));
        }
    }
    return secret;
}

QByteArray answerChallenge(const QByteArray& secret, const QByteArray& challenge)
{
    return QMessageAuthenticationCode::hash(challenge, secret, QCryptographicHash::Sha256);
}

}  // namespace cardctl
