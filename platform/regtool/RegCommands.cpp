#include "RegCommands.h"

#include "RegData.h"
#include "RegImport.h"
#include "RegPath.h"
#include "platform/AnsiCodePage.h"
#include "platform/Registry.h"

#include <QFile>
#include <QSaveFile>
#include <optional>
#include <vector>

using namespace platform;

namespace regtool {

namespace {

const QString kDone = QStringLiteral("The operation completed successfully.");
const QString kNotFound = QStringLiteral("ERROR: The system was unable to find the specified registry key or value.");
const QString kRegHeader = QStringLiteral("Windows Registry Editor Version 5.00");

struct Options {
    QStringList positional;
    QString valueName;
    bool hasValueName = false;  // /v NAME or /ve
    bool allValues = false;     // /va
    bool force = false;         // /f, /y
    bool recursive = false;     // /s
    QString type = QStringLiteral("REG_SZ");
    QString data;
    bool hasData = false;
};

std::optional<Options> parseOptions(const QStringList& args, Console& console)
{
    Options options;
    for (int i = 0; i < args.size(); ++i) {
        const QString arg = args[i].toLower();
        const auto next = [&]() -> std::optional<QString> {
            if (i + 1 < args.size()) return args[++i];
            console.err << "ERROR: " << args[i] << " needs a value.\n";
            return std::nullopt;
        };
        if (arg == QLatin1String("/v")) {
            auto v = next();
            if (!v) return std::nullopt;
            options.valueName = *v;
            options.hasValueName = true;
        } else if (arg == QLatin1String("/ve")) {
            options.hasValueName = true;
        } else if (arg == QLatin1String("/va")) {
            options.allValues = true;
        } else if (arg == QLatin1String("/t")) {
            auto v = next();
            if (!v) return std::nullopt;
            options.type = *v;
        } else if (arg == QLatin1String("/d")) {
            auto v = next();
            if (!v) return std::nullopt;
            options.data = *v;
            options.hasData = true;
        } else if (arg == QLatin1String("/f") || arg == QLatin1String("/y")) {
            options.force = true;
        } else if (arg == QLatin1String("/s")) {
            options.recursive = true;
        } else if (arg.startsWith(QLatin1Char('/')) && arg.size() <= 3) {
            // Short slash words are options; longer ones are file paths.
            console.err << "ERROR: Invalid syntax: unknown option " << args[i] << ".\n";
            return std::nullopt;
        } else {
            options.positional << args[i];
        }
    }
    return options;
}

// An open key that closes itself.
class Key {
public:
    Key() = default;
    ~Key()
    {
        if (m_key) RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

LONG openKey(const KeyPath& path, REGSAM access, Key& key)
{
    return RegOpenKeyExA(path.root, toAnsi(path.subKey).constData(), 0, access, key.out());
}

struct Value {
    QString name;
    DWORD type = 0;
    QByteArray bytes;
};

std::vector<Value> listValues(HKEY key)
{
    std::vector<Value> values;
    for (DWORD index = 0;; ++index) {
        std::vector<char> name(16384);
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD type = 0, size = 0;
        if (RegEnumValueA(key, index, name.data(), &nameChars, &type, nullptr, &size) != ERROR_SUCCESS) break;
        QByteArray data(static_cast<int>(size), '\0');
        nameChars = static_cast<DWORD>(name.size());
        RegEnumValueA(key, index, name.data(), &nameChars, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        values.push_back({fromAnsi(QByteArray(name.data(), static_cast<int>(nameChars))), type, data});
    }
    return values;
}

QStringList listSubKeys(HKEY key)
{
    QStringList names;
    for (DWORD index = 0;; ++index) {
        std::vector<char> name(16384);
        DWORD chars = static_cast<DWORD>(name.size());
        if (RegEnumKeyExA(key, index, name.data(), &chars) != ERROR_SUCCESS) break;
        names << fromAnsi(QByteArray(name.data(), static_cast<int>(chars)));
    }
    return names;
}

KeyPath child(const KeyPath& parent, const QString& name)
{
    KeyPath path = parent;
    path.subKey = parent.subKey.isEmpty() ? name : parent.subKey + QLatin1Char('\\') + name;
    return path;
}

void printValue(const Value& value, Console& console)
{
    console.out << "    " << (value.name.isEmpty() ? QStringLiteral("(Default)") : value.name) << "    "
                << typeName(value.type) << "    " << dataForListing(value.type, value.bytes) << "\n";
}

void queryKey(const KeyPath& path, const Key& key, bool recursive, Console& console)
{
    console.out << "\n" << path.full() << "\n";
    for (const Value& value : listValues(key.get())) printValue(value, console);
    for (const QString& name : listSubKeys(key.get())) {
        const KeyPath sub = child(path, name);
        if (!recursive) {
            console.out << "\n" << sub.full();
            continue;
        }
        Key subKey;
        if (openKey(sub, KEY_READ, subKey) == ERROR_SUCCESS) queryKey(sub, subKey, true, console);
    }
    console.out << "\n";
}

int query(const KeyPath& path, const Options& options, Console& console)
{
    Key key;
    if (openKey(path, KEY_READ, key) != ERROR_SUCCESS) {
        console.err << kNotFound << "\n";
        return 1;
    }
    if (!options.hasValueName) {
        queryKey(path, key, options.recursive, console);
        return 0;
    }
    for (const Value& value : listValues(key.get())) {
        if (value.name.compare(options.valueName, Qt::CaseInsensitive) == 0) {
            console.out << "\n" << path.full() << "\n";
            printValue(value, console);
            console.out << "\n";
            return 0;
        }
    }
    console.err << kNotFound << "\n";
    return 1;
}

int add(const KeyPath& path, const Options& options, Console& console)
{
    const auto type = typeFromName(options.type);
    if (!type) {
        console.err << "ERROR: Invalid syntax: unknown type " << options.type << ".\n";
        return 1;
    }
    QString error;
    const auto bytes = dataFromCommandLine(*type, options.hasData ? options.data : QString(), &error);
    if (!bytes) {
        console.err << "ERROR: " << error << "\n";
        return 1;
    }
    Key key;
    if (RegCreateKeyA(path.root, toAnsi(path.subKey).constData(), key.out()) != ERROR_SUCCESS) {
        console.err << "ERROR: Access is denied.\n";
        return 1;
    }
    if (!options.hasValueName && !options.hasData) {
        console.out << kDone << "\n";
        return 0;
    }
    const QByteArray name = toAnsi(options.valueName);
    DWORD size = 0;
    const bool exists = RegQueryValueExA(key.get(), name.constData(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    if (exists && !options.force &&
        !console.confirm(QStringLiteral("Value %1 exists, overwrite(Yes/No)?")
                             .arg(options.valueName.isEmpty() ? QStringLiteral("(Default)") : options.valueName))) {
        console.out << "The operation was cancelled by the user.\n";
        return 1;
    }
    if (RegSetValueExA(key.get(), name.constData(), 0, *type, reinterpret_cast<const BYTE*>(bytes->constData()),
                       static_cast<DWORD>(bytes->size())) != ERROR_SUCCESS) {
        console.err << "ERROR: Access is denied.\n";
        return 1;
    }
    console.out << kDone << "\n";
    return 0;
}

int remove(const KeyPath& path, const Options& options, Console& console)
{
    Key key;
    if (openKey(path, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
        console.err << kNotFound << "\n";
        return 1;
    }
    const bool wholeKey = !options.hasValueName && !options.allValues;
    const QString question = wholeKey ? QStringLiteral("Permanently delete the registry key %1 (Yes/No)?").arg(path.full())
                             : options.allValues
                                 ? QStringLiteral("Delete all values under the registry key %1 (Yes/No)?").arg(path.full())
                                 : QStringLiteral("Delete the registry value %1 (Yes/No)?").arg(options.valueName);
    if (!options.force && !console.confirm(question)) {
        console.out << "The operation was cancelled by the user.\n";
        return 1;
    }
    LONG status = ERROR_SUCCESS;
    if (wholeKey) {
        status = path.subKey.isEmpty() ? ERROR_ACCESS_DENIED : RegDeleteTreeA(key.get(), nullptr);
    } else if (options.allValues) {
        for (const Value& value : listValues(key.get()))
            if (status == ERROR_SUCCESS) status = RegDeleteValueA(key.get(), toAnsi(value.name).constData());
    } else {
        status = RegDeleteValueA(key.get(), toAnsi(options.valueName).constData());
    }
    if (status != ERROR_SUCCESS) {
        console.err << (status == ERROR_FILE_NOT_FOUND ? kNotFound : QStringLiteral("ERROR: Access is denied.")) << "\n";
        return 1;
    }
    console.out << kDone << "\n";
    return 0;
}

void exportKey(const KeyPath& path, QString& text)
{
    Key key;
    if (openKey(path, KEY_READ, key) != ERROR_SUCCESS) return;
    text += QStringLiteral("\r\n[%1]\r\n").arg(path.full());
    for (const Value& value : listValues(key.get())) text += regFileLine(value.name, value.type, value.bytes) + "\r\n";
    for (const QString& name : listSubKeys(key.get())) exportKey(child(path, name), text);
}

int exportTo(const KeyPath& path, const QString& fileName, const Options& options, Console& console)
{
    Key key;
    if (openKey(path, KEY_READ, key) != ERROR_SUCCESS) {
        console.err << kNotFound << "\n";
        return 1;
    }
    if (QFile::exists(fileName) && !options.force &&
        !console.confirm(QStringLiteral("File %1 already exists. Overwrite (Yes/No)?").arg(fileName))) {
        console.out << "The operation was cancelled by the user.\n";
        return 1;
    }
    QString text = kRegHeader + QStringLiteral("\r\n");
    exportKey(path, text);
    text += QStringLiteral("\r\n");
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        console.err << "ERROR: Cannot write " << fileName << ": " << file.errorString() << "\n";
        return 1;
    }
    console.out << kDone << "\n";
    return 0;
}

void usage(QTextStream& out)
{
    out << "Usage: pluvane-reg <operation> [parameters]\n"
           "  query  KEY [/v NAME | /ve] [/s]\n"
           "  add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
           "  delete KEY [/v NAME | /ve | /va] [/f]\n"
           "  export KEY FILE [/y]\n"
           "  import FILE\n"
           "  /?, --help, --version\n"
           "KEY is HKLM\\SUBKEY or HKCU\\SUBKEY (long forms HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER).\n"
           "TYPE is REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY or REG_NONE.\n"
           "The settings hive is $PLUVANE_HIVE, else $XDG_DATA_HOME/pluvane/hive.sqlite\n"
           "($XDG_DATA_HOME defaults to ~/.local/share).\n"
           "Exit status, as the Windows reg tool's: 0 success, 1 failure or invalid syntax.\n";
}

}  // namespace

int runRegCommand(const QStringList& arguments, Console& console)
{
    if (arguments.isEmpty() || arguments.first() == QLatin1String("/?") || arguments.first() == QLatin1String("--help")) {
        usage(arguments.isEmpty() ? console.err : console.out);
        return arguments.isEmpty() ? 1 : 0;
    }
    const QString verb = arguments.first().toLower();
    const auto options = parseOptions(arguments.mid(1), console);
    if (!options) return 1;
    if (verb == QLatin1String("import")) {
        if (options->positional.size() != 1) {
            usage(console.err);
            return 1;
        }
        return importRegFile(options->positional.first(), console);
    }
    const int wanted = verb == QLatin1String("export") ? 2 : 1;
    if (options->positional.size() != wanted) {
        usage(console.err);
        return 1;
    }
    const auto path = parseKeyPath(options->positional.first());
    if (!path) {
        console.err << "ERROR: Invalid key name " << options->positional.first() << " (use HKLM\\... or HKCU\\...).\n";
        return 1;
    }
    if (verb == QLatin1String("query")) return query(*path, *options, console);
    if (verb == QLatin1String("add")) return add(*path, *options, console);
    if (verb == QLatin1String("delete")) return remove(*path, *options, console);
    if (verb == QLatin1String("export")) return exportTo(*path, options->positional[1], *options, console);
    console.err << "ERROR: Invalid operation " << arguments.first() << ".\n";
    usage(console.err);
    return 1;
}

}  // namespace regtool
