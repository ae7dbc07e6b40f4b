#include "RegPath.h"

namespace regtool {

std::optional<KeyPath> parseKeyPath(const QString& text)
{
    QString trimmed = text.trimmed();
    while (trimmed.endsWith(QLatin1Char('\\'))) trimmed.chop(1);
    const int slash = trimmed.indexOf(QLatin1Char('\\'));
    const QString root = (slash < 0 ? trimmed : trimmed.left(slash)).toUpper();
    KeyPath path;
    if (root == QLatin1String("HKLM") || root == QLatin1String("HKEY_LOCAL_MACHINE")) {
        path.root = platform::HKEY_LOCAL_MACHINE;
        path.rootName = QStringLiteral("HKEY_LOCAL_MACHINE");
    } else if (root == QLatin1String("HKCU") || root == QLatin1String("HKEY_CURRENT_USER")) {
        path.root = platform::HKEY_CURRENT_USER;
        path.rootName = QStringLiteral("HKEY_CURRENT_USER");
    } else {
        return std::nullopt;
    }
    if (slash >= 0) path.subKey = trimmed.mid(slash + 1);
    return path;
}

}  // namespace regtool
