#include "ini_format.h"

#include <QIODevice>
#include <QStringView>

namespace tellavo::ini {

namespace {

// What a value escapes, and the letter after the backslash that stands for it;
// any other backslash stands for itself.
constexpr QStringView kEscaped = u"\\\n\r";
constexpr QStringView kLetters = u"\\nr";

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Whether "[section]" then "name=" reads back as exactly section/name.
bool sectionSplitHolds(QStringView section, QStringView name)
{
    auto trimmedSame = [](QStringView v) {
        return !v.isEmpty() && !isBlank(v.front()) && !isBlank(v.back());
    };
    return trimmedSame(section) && trimmedSame(name) && name.front() != QChar(0xFEFF) &&
           !name.contains(QLatin1Char('=')) && !name.startsWith(QLatin1Char('[')) &&
           !name.startsWith(QLatin1Char(';')) && !name.startsWith(QLatin1Char('#'));
}

QStringView trimmedBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.mid(begin, end - begin);
}

}  // namespace

QString escapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        const qsizetype k = kEscaped.indexOf(c);
        if (k < 0) {
            out += c;
        } else {
            out += QLatin1Char('\\');
            out += kLetters[k];
        }
    }
    return out;
}

QString unescapeValue(const QString& raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const qsizetype k =
            raw[i] == QLatin1Char('\\') && i + 1 < raw.size() ? kLetters.indexOf(raw[i + 1]) : -1;
        if (k < 0) {
            out += raw[i];
        } else {
            out += kEscaped[k];
            ++i;
        }
    }
    return out;
}

QSettings::SettingsMap parse(const QByteArray& data)
{
    QSettings::SettingsMap map;
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xFEFF)))  // a byte-order mark some editors add
        text.remove(0, 1);

    QString section;
    qsizetype pos = 0;
    while (pos <= text.size()) {
        qsizetype eol = text.indexOf(QLatin1Char('\n'), pos);
        if (eol < 0)
            eol = text.size();
        QStringView line = QStringView(text).mid(pos, eol - pos);
        pos = eol + 1;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);

        const QStringView head = trimmedBlanks(line);
        if (head.isEmpty() || head.startsWith(QLatin1Char(';')) ||
            head.startsWith(QLatin1Char('#')))
            continue;
        if (head.startsWith(QLatin1Char('['))) {
            qsizetype close = head.lastIndexOf(QLatin1Char(']'));
            if (close < 0)
                close = head.size();
            section = trimmedBlanks(head.mid(1, close - 1)).toString();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        QStringView key = trimmedBlanks(line.left(eq));
        while (!key.isEmpty() && key.front() == QChar(0xFEFF))
            key = trimmedBlanks(key.mid(1));
        if (key.isEmpty())
            continue;
        const QString fullKey =
            section.isEmpty() ? key.toString() : section + QLatin1Char('/') + key.toString();
        map.insert(fullKey, unescapeValue(line.mid(eq + 1).toString()));
    }
    return map;
}

QByteArray serialize(const QSettings::SettingsMap& map)
{
    QString out;
    // Keys outside any section must come before the first section line.
    auto split = [](const QString& key) {
        for (qsizetype slash = key.indexOf(QLatin1Char('/')); slash >= 0;
             slash = key.indexOf(QLatin1Char('/'), slash + 1))
            if (sectionSplitHolds(QStringView(key).left(slash), QStringView(key).mid(slash + 1)))
                return slash;
        return qsizetype(-1);
    };
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (split(it.key()) < 0)
            out += it.key() + QLatin1Char('=') + escapeValue(it.value().toString()) +
                   QLatin1Char('\n');
    }
    QString section;
    bool first = out.isEmpty();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const qsizetype slash = split(it.key());
        if (slash < 0)
            continue;
        const QString keySection = it.key().left(slash);
        if (first || keySection != section) {
            if (!first)
                out += QLatin1Char('\n');
            out += QLatin1Char('[') + keySection + QLatin1String("]\n");
            section = keySection;
            first = false;
        }
        out += it.key().mid(slash + 1) + QLatin1Char('=') + escapeValue(it.value().toString()) +
               QLatin1Char('\n');
    }
    return out.toUtf8();
}

bool readDevice(QIODevice& device, QSettings::SettingsMap& map)
{
    map = parse(device.readAll());
    return true;
}

bool writeDevice(QIODevice& device, const QSettings::SettingsMap& map)
{
    const QByteArray data = serialize(map);
    // A short write (full disk, quota) must fail the save: QSaveFile then
    // discards the partial file and the old one stays.
    return device.write(data) == data.size();
}

QSettings::Format format()
{
    static const QSettings::Format registered =
        QSettings::registerFormat(QStringLiteral("ini"), readDevice, writeDevice);
    return registered;
}

}  // namespace tellavo::ini
