#include "RegPath.h"

#include <QStringList>

namespace regtool {

namespace {

// White space at either end of a name is dropped from every name of the
// path, not only from the path's two ends: "SOFTWARE \Vendor" names the
// same key as "SOFTWARE\Vendor". Trimming only the ends let an import make
// a key "Vendor " from "[...\Vendor \Sub]" that its own export, written as
// "[...\Vendor ]", then imported as "Vendor".
QString trimmedNames(const QString& subKey)
{
    QStringList names = subKey.split(QLatin1Char('\\'));
    for (QString& name : names) name = name.trimmed();
    names.removeAll(QString());
    return names.join(QLatin1Char('\\'));
}

}  // namespace

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
    if (slash >= 0) path.subKey = trimmedNames(trimmed.mid(slash + 1));
    return path;
}

}  // namespace regtool
