#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <memory>

class QSettings;

namespace tellavo {

// The user's settings store: organisation and application "Ambrovia", one
// section "Generale", every value a text. On Linux the file is
// $XDG_CONFIG_HOME/Ambrovia/Ambrovia.ini.
class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    QString fileName() const { return m_fileName; }

    // False, with an Italian reason, when the file exists but cannot be read:
    // starting as if it were empty would greet the user again and overwrite it.
    bool isReadable(QString& reason) const;

    // The stored text of a key of "Generale", or the default when it is absent.
    QString read(const QString& key, const QString& defaultValue) const;

    // Writes the keys of "Generale" in the given order and commits them to
    // disk at once: the file then holds either all of them or, when the write
    // fails, its old content. False, with an Italian reason, on failure.
    bool write(const QList<QPair<QString, QString>>& entries, QString& reason);

private:
    void open();
    bool clearLock(QString& reason);

    const QString m_fileName;
    // Why the file cannot be read; m_settings is then not made at all.
    QString m_problem;
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace tellavo
