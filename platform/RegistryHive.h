#pragma once
// The SQLite store behind the registry API. Keys are rows identified by
// their full path folded to one case; values hang off their key's folded
// path. One connection serves every open handle and closes with the last.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace platform::detail {

struct StoredValue {
    QString name;
    uint32_t type = 0;
    QByteArray data;
};

class RegistryHive {
public:
    static std::shared_ptr<RegistryHive> acquire();
    ~RegistryHive();

    const QString& path() const { return m_path; }
    bool writable() const { return m_writable; }
    // writable(), and when not, one line on stderr per hive and process
    // saying why settings cannot be saved.
    bool acceptsWrites() const;

    bool keyExists(const QString& foldedPath) const;
    std::optional<StoredValue> value(const QString& foldedKey, const QString& foldedName) const;
    std::vector<QString> childKeyNames(const QString& foldedPath) const;  // display case, sorted
    std::vector<StoredValue> values(const QString& foldedKey) const;      // in the order written

    // Writes; each is one transaction. False when the hive cannot be written.
    bool createKeyPath(const QStringList& displayComponents);
    bool setValue(const QString& foldedKey, const StoredValue& value);
    bool deleteValue(const QString& foldedKey, const QString& foldedName);
    bool deleteTree(const QString& foldedPath);

    static QString fold(const QString& name) { return name.toCaseFolded(); }

private:
    explicit RegistryHive(QString path);
    void openExisting();
    bool ensureWritableDatabase();
    bool initialiseSchema();
    void setAsideDamagedFile();
    bool exec(const char* sql) const;
    void warnCannotSave(const QString& reason) const;
    QString whyNotWritable() const;

    QString m_path;
    sqlite3* m_db = nullptr;
    bool m_writable = true;
    bool m_damaged = false;
};

}  // namespace platform::detail
