#include "RegImport.h"

#include "RegData.h"
#include "RegPath.h"
#include "platform/AnsiCodePage.h"
#include "platform/Registry.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringView>

using namespace platform;

namespace regtool {

namespace {

const QString kRegHeader = QStringLiteral("Windows Registry Editor Version 5.00");

QString decodeRegFile(const QByteArray& bytes)
{
    if (bytes.startsWith("\xff\xfe")) return QStringDecoder(QStringDecoder::Utf16LE)(bytes.mid(2));
    if (bytes.startsWith("\xef\xbb\xbf")) return QString::fromUtf8(bytes.mid(3));
    return QString::fromUtf8(bytes);
}

// Calls lineFound(view) for each physical line; CR LF, LF and CR all end one.
template <typename Fn>
void forEachLine(const QString& text, Fn lineFound)
{
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
        lineFound(QStringView(text).mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n')) ++i;
        start = i + 1;
    }
    lineFound(QStringView(text).mid(start));
}

// A huge broken entry is named by its start, not printed whole.
QString shortened(const QString& text)
{
    constexpr int kShown = 120;
    return text.size() <= kShown ? text : text.left(kShown) + QStringLiteral("...");
}

class Key {
public:
    ~Key() { close(); }
    void close()
    {
        if (m_key) RegCloseKey(m_key);
        m_key = nullptr;
    }
    HKEY* out()
    {
        close();
        return &m_key;
    }
    HKEY get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

private:
    HKEY m_key = nullptr;
};

}  // namespace

std::optional<std::vector<RegFileEntry>> regFileEntries(const QByteArray& fileBytes)
{
    const QString text = decodeRegFile(fileBytes);
    std::vector<RegFileEntry> entries;
    bool headerSeen = false;
    bool continuing = false;
    int lineNumber = 0;
    forEachLine(text, [&](QStringView physical) {
        ++lineNumber;
        const QStringView line = physical.trimmed();
        if (!headerSeen) {
            headerSeen = true;
            entries.push_back({lineNumber, line.toString()});
            return;
        }
        if (continuing) {
            entries.back().text += line;  // appended in place: linear however long the value runs
        } else {
            entries.push_back({lineNumber, line.toString()});
        }
        QString& current = entries.back().text;
        continuing = current.endsWith(QLatin1Char('\\'));
        if (continuing) current.chop(1);
    });
    if (entries.empty() || entries.front().text != kRegHeader) return std::nullopt;
    entries.erase(entries.begin());
    return entries;
}

int importRegText(const QByteArray& fileBytes, const QString& nameForMessages, Console& console)
{
    const auto entries = regFileEntries(fileBytes);
    if (!entries) {
        console.err << "ERROR: " << nameForMessages << " is not a registry file (it must start with \"" << kRegHeader
                    << "\").\n";
        return 1;
    }
    // One transaction for the whole file: another program sees the import
    // whole or not at all, and the disk is synced once rather than twice a value.
    RegistryWriteBatch batch;
    Key key;
    int failures = 0;
    for (const RegFileEntry& entry : *entries) {
        const QString& line = entry.text;
        if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            key.close();
            const bool removal = line.startsWith(QLatin1String("[-"));
            const auto path = parseKeyPath(line.mid(removal ? 2 : 1).chopped(1));
            // A root's own line is what an export of the root begins with: its
            // values go to the root itself. Removing a root stays refused.
            if (!path || (removal && path->subKey.isEmpty())) {
                console.err << "ERROR: line " << entry.lineNumber << ": bad key " << shortened(line) << "\n";
                ++failures;
            } else if (removal) {
                const LONG status = RegDeleteTreeA(path->root, toAnsi(path->subKey).constData());
                if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) ++failures;
            } else if (RegCreateKeyA(path->root, toAnsi(path->subKey).constData(), key.out()) != ERROR_SUCCESS) {
                console.err << "ERROR: line " << entry.lineNumber << ": cannot create " << path->full() << "\n";
                ++failures;
            }
            continue;
        }
        QString error;
        const auto value = parseRegFileLine(line, &error);
        if (!value || !key) {
            console.err << "ERROR: line " << entry.lineNumber << ": "
                        << shortened(error.isEmpty() ? QStringLiteral("value outside a key: ") + line : error) << "\n";
            ++failures;
            continue;
        }
        const QByteArray name = toAnsi(value->name);
        const LONG status = value->remove ? RegDeleteValueA(key.get(), name.constData())
                                          : RegSetValueExA(key.get(), name.constData(), 0, value->type,
                                                           reinterpret_cast<const BYTE*>(value->bytes.constData()),
                                                           static_cast<DWORD>(value->bytes.size()));
        if (status != ERROR_SUCCESS && !(value->remove && status == ERROR_FILE_NOT_FOUND)) {
            console.err << "ERROR: line " << entry.lineNumber << ": cannot "
                        << (value->remove ? "delete" : "set") << " value "
                        << (value->name.isEmpty() ? QStringLiteral("(Default)") : value->name) << "\n";
            ++failures;
        }
    }
    key.close();
    if (batch.commit() != ERROR_SUCCESS) {
        console.err << "ERROR: " << nameForMessages << " could not be saved in the settings hive.\n";
        return 1;
    }
    if (failures) {
        console.err << "ERROR: " << failures << " entries of " << nameForMessages << " could not be imported.\n";
        return 1;
    }
    console.out << "The operation completed successfully.\n";
    return 0;
}

int importRegFile(const QString& fileName, Console& console)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        console.err << "ERROR: Cannot open " << fileName << ": " << file.errorString() << "\n";
        return 1;
    }
    return importRegText(file.readAll(), fileName, console);
}

}  // namespace regtool
