#pragma once
// The secret a card server may ask the control to prove it knows. It lives in
// a file of its own beside the front end's configuration, not in the
// settings: $PLUVANE_CARD_SECRET_FILE, else $XDG_CONFIG_HOME/pluvane/card-secret.
#include <QByteArray>
#include <QString>

namespace cardctl {

QString sharedSecretPath();
// The file's bytes without a trailing line end; empty when there is none.
QByteArray readSharedSecret();
// What a client sends back for the server's challenge.
QByteArray answerChallenge(const QByteArray& secret, const QByteArray& challenge);

}  // namespace cardctl
