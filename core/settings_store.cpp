#include "settings_store.h"

#include "ini_format.h"

#include <QFileInfo>
#include <QSettings>

namespace tellavo {

namespace {
const QString kApplication = QStringLiteral("Ambrovia");
const QString kSection = QStringLiteral("Generale");

QString sectionKey(const QString& key)
{
    return kSection + QLatin1Char('/') + key;
}
}  // namespace

SettingsStore::SettingsStore()
{
    open();
}

void SettingsStore::open()
{
    m_settings = std::make_unique<QSettings>(ini::format(), QSettings::UserScope, kApplication,
                                             kApplication);
    // Keys missing from the user's file must read as absent, not come from /etc/xdg.
    m_settings->setFallbacksEnabled(false);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

bool SettingsStore::isReadable(QString* reason) const
{
    const QFileInfo info(fileName());
    if (!info.exists())
        return true;
    if (info.isDir()) {
        if (reason)
            *reason = QStringLiteral("Al posto del file delle impostazioni c'è una cartella.");
        return false;
    }
    if (!info.isReadable() || m_settings->status() == QSettings::AccessError) {
        if (reason)
            *reason = QStringLiteral("Il file delle impostazioni non si può leggere.");
        return false;
    }
    return true;
}

QString SettingsStore::read(const QString& key, const QString& defaultValue) const
{
    const QVariant value = m_settings->value(sectionKey(key));
    if (!value.isValid())
        return defaultValue;
    return value.toString();
}

bool SettingsStore::write(const QList<QPair<QString, QString>>& entries, QString* reason)
{
    // QSettings keeps an error status for good: after a failed save, a fresh
    // object is the only way to learn whether the next one worked.
    if (m_settings->status() != QSettings::NoError)
        open();
    for (const auto& entry : entries)
        m_settings->setValue(sectionKey(entry.first), entry.second);
    m_settings->sync();
    switch (m_settings->status()) {
        case QSettings::NoError:
            return true;
        case QSettings::AccessError:
            if (reason)
                *reason = QStringLiteral(
                    "Il file non si può scrivere (permessi mancanti o disco pieno).");
            return false;
        case QSettings::FormatError:
            if (reason)
                *reason = QStringLiteral("Il file delle impostazioni non è valido.");
            return false;
    }
    return false;
}

}  // namespace tellavo
