#pragma once
// Key paths as the command line writes them: "HKLM\SOFTWARE\Vendor" or
// "HKEY_LOCAL_MACHINE\SOFTWARE\Vendor".
#include "platform/Registry.h"

#include <QString>
#include <optional>

namespace regtool {

struct KeyPath {
    platform::HKEY root = nullptr;
    QString rootName;  // long form, e.g. HKEY_LOCAL_MACHINE
    QString subKey;    // may be empty (the root itself)

    QString full() const { return subKey.isEmpty() ? rootName : rootName + QLatin1Char('\\') + subKey; }
};

std::optional<KeyPath> parseKeyPath(const QString& text);

}  // namespace regtool
