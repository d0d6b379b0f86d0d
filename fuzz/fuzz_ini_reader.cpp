// The settings file format on arbitrary bytes: reading never fails or
// crashes, QSettings' read callback sees what parse() sees, what we write for
// a map reads back as that map, and values survive escaping whatever they hold.
#include "ini_format.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstring>

using namespace tellavo;

namespace {

void dumpMap(const char* name, const QSettings::SettingsMap& map)
{
    std::fprintf(stderr, "  %s (%lld keys):\n", name, static_cast<long long>(map.size()));
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        std::fprintf(stderr, "    \"%s\" = \"%s\"\n",
                     it.key().toUtf8().toPercentEncoding(" ").constData(),
                     it.value().toString().toUtf8().toPercentEncoding(" ").constData());
}

[[noreturn]] void fail(const char* what, const QByteArray& input)
{
    std::fprintf(stderr, "fuzz_ini_reader: %s\n  input (percent-encoded): %s\n", what,
                 input.toPercentEncoding(" ").constData());
    std::fflush(stderr);
    __builtin_trap();
}

[[noreturn]] void failMaps(const char* what, const QByteArray& input,
                           const QSettings::SettingsMap& want, const QSettings::SettingsMap& got)
{
    std::fprintf(stderr, "fuzz_ini_reader: %s\n", what);
    dumpMap("want", want);
    dumpMap("got", got);
    fail(what, input);
}

QSettings::SettingsMap readBack(const QByteArray& bytes, const QByteArray& input)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    if (!buffer.open(QIODevice::ReadOnly))
        fail("cannot open a buffer", input);
    QSettings::SettingsMap map;
    if (!ini::readDevice(buffer, map))
        fail("read callback failed", input);
    return map;
}

QByteArray written(const QSettings::SettingsMap& map, const QByteArray& input)
{
    QByteArray out;
    QBuffer buffer(&out);
    if (!buffer.open(QIODevice::WriteOnly))
        fail("cannot open a buffer", input);
    if (!ini::writeDevice(buffer, map))
        fail("write callback failed on a buffer with room", input);
    buffer.close();
    return out;
}

void checkValue(const QString& value, const QByteArray& input)
{
    const QString escaped = ini::escapeValue(value);
    // One line per value: no raw line break may reach the file.
    if (escaped.contains(QLatin1Char('\n')) || escaped.contains(QLatin1Char('\r')))
        fail("escaped value holds a line break", input);
    if (ini::unescapeValue(escaped) != value)
        fail("unescape(escape(value)) differs from value", input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));

    // Reading: the callback QSettings uses agrees with parse().
    const QSettings::SettingsMap parsed = ini::parse(input);
    if (readBack(input, input) != parsed)
        failMaps("readDevice differs from parse", input, parsed, readBack(input, input));
    for (auto it = parsed.cbegin(); it != parsed.cend(); ++it) {
        if (it.key().isEmpty())
            fail("empty key read", input);
        if (it.value().typeId() != QMetaType::QString)
            fail("value read as something other than text", input);
    }

    // What we would write for the map read, read again, is the same map:
    // reading a file and saving it loses or changes nothing.
    const QByteArray file = written(parsed, input);
    if (file != ini::serialize(parsed))
        fail("write callback writes other bytes than serialize", input);
    const QSettings::SettingsMap again = ini::parse(file);
    if (again != parsed)
        failMaps("parse(serialize(parse(x))) differs from parse(x)", input, parsed, again);

    // Any value the program stores comes back as it was, in our own section
    // and outside any section.
    const QString value = QString::fromUtf8(input);
    checkValue(value, input);
    QString units(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data, size_t(units.size()) * sizeof(QChar));
    checkValue(units, input);  // unpaired surrogates included
    QSettings::SettingsMap ours;
    ours.insert(QStringLiteral("Generale/Messaggio"), value);
    ours.insert(QStringLiteral("Generale/Soglia"), QStringLiteral("30"));
    ours.insert(QStringLiteral("Altro"), value);
    const QSettings::SettingsMap ourBack = ini::parse(written(ours, input));
    if (ourBack != ours)
        failMaps("a stored value does not read back", input, ours, ourBack);
    return 0;
}
