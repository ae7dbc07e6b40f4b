#pragma once
// The system ANSI code page, Windows-1252: one byte per character; a
// character the code page lacks becomes '?'.
#include <QByteArray>
#include <QString>

namespace platform {

QByteArray toAnsi(const QString& text);
QString fromAnsi(const QByteArray& bytes);

}  // namespace platform
