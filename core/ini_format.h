#pragma once

#include <QByteArray>
#include <QSettings>

class QIODevice;

namespace tellavo::ini {

// A settings file format of our own for QSettings. Qt's stock INI format
// interprets what people write by hand ("a, b" becomes a list, "@Variant(...)"
// an invalid value, blanks and "; comments" vanish) and, on a full disk,
// commits a short file over the good one. This one keeps every value as the
// raw text of its line and fails the save on any short write, so QSaveFile
// keeps the old file.
//
// File form: "[Section]" lines, "key=value" lines, ";" or "#" comment lines.
// A value is everything after the first "=", blanks included. Only the
// sequences we write are decoded: "\\" (backslash), "\n" and "\r"; any other
// backslash stands for itself.

// Parses a whole file. Later duplicates of a key win; lines that are neither
// a section nor "key=value" are skipped.
QSettings::SettingsMap parse(const QByteArray& data);

// The file text for a map whose keys are "Section/key" (or "key" for keys
// outside any section).
QByteArray serialize(const QSettings::SettingsMap& map);

QString escapeValue(const QString& value);
QString unescapeValue(const QString& raw);

// The format, registered with QSettings once per process.
QSettings::Format format();

// QSettings' read and write callbacks, exposed for tests.
bool readDevice(QIODevice& device, QSettings::SettingsMap& map);
bool writeDevice(QIODevice& device, const QSettings::SettingsMap& map);

}  // namespace tellavo::ini
