#include "tip_words.h"

#include "battery_model.h"

#include <QStringList>

#include <cmath>

namespace tellavo {
namespace {

const QString kUnknownState = QStringLiteral("Stato della batteria sconosciuto");

// "In scarica" + ": 57%" when the percentage is known.
QString withPercent(const QString& head, int percent)
{
    return known(percent) ? head + QStringLiteral(": ") + percentText(percent) : head;
}

constexpr double kDaySeconds = 86'400.0;

// The time to the nearest minute: 0 under a minute, -1 for no believable time.
// A provisional time (this moment's rate alone) is told coarsely: to five
// minutes under an hour, to a quarter of an hour from one on.
long long minutesOf(double seconds, bool provisional)
{
    if (!battery::plausibleSeconds(seconds))
        return -1;
    if (seconds < 60.0)
        return 0;
    const long long minutes = std::llround(seconds / 60.0);
    if (!provisional || minutes < 5)
        return minutes;
    const long long step = minutes < 60 ? 5 : 15;
    return (minutes + step / 2) / step * step;
}

QString unitWords(long long n, const char* one, const char* many)
{
    return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(n == 1 ? one : many);
}

// "45 min", "1 h 5 min", "2 h"; spoken "45 minuti", "1 ora e 5 minuti", "2 ore".
QString durationWords(long long minutes, Voice voice)
{
    const long long hours = minutes / 60;
    const long long rest = minutes % 60;
    if (voice == Voice::Screen) {
        const QString h = QStringLiteral("%1 h").arg(hours);
        const QString m = QStringLiteral("%1 min").arg(rest);
        return hours == 0 ? m : rest == 0 ? h : h + QLatin1Char(' ') + m;
    }
    const QString h = unitWords(hours, "ora", "ore");
    const QString m = unitWords(rest, "minuto", "minuti");
    return hours == 0 ? m : rest == 0 ? h : h + QStringLiteral(" e ") + m;
}

// "12,4 W": one decimal, with the Italian comma.
QString wattsText(double watts)
{
    return QString::number(watts, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(',')) +
           QStringLiteral(" W");
}

// The limit of the batteries that have one; 0 when they differ, -1 when none has.
int sharedLimit(const std::vector<BatteryPack>& batteries)
{
    int limit = -1;
    for (const BatteryPack& pack : batteries) {
        if (pack.limitEnd <= 0)
            continue;
        if (limit > 0 && pack.limitEnd != limit)
            return 0;
        limit = pack.limitEnd;
    }
    return limit;
}

// Not charging because of the limits: a battery held at its limit, and the
// others held too or full.
bool allHeldAtLimit(const std::vector<BatteryPack>& batteries)
{
    bool held = false;
    for (const BatteryPack& pack : batteries) {
        if (pack.state == ChargeState::NotCharging && battery::heldAtLimit(pack))
            held = true;
        else if (pack.state != ChargeState::Full)
            return false;
    }
    return held;
}

QString pausedText(int limit)
{
    return limit > 0 ? QStringLiteral("In pausa al limite di carica (%1%)").arg(limit)
                     : QStringLiteral("In pausa al limite di carica");
}

// Whether "rimanente" agrees with one of the last unit told: "1 ora",
// "1 h 1 min", "meno di un minuto", "più di un giorno".
bool single(double seconds, bool provisional)
{
    const long long minutes = minutesOf(seconds, provisional);
    if (minutes <= 0 || seconds > kDaySeconds)
        return true;
    return minutes % 60 == 1 || minutes == 60;
}

QString dischargingTip(int percent, const BatteryDetails& details, Voice voice)
{
    QString tip = withPercent(QStringLiteral("In scarica"), percent);
    const QString left = durationText(details.secondsToEmpty, details.timesProvisional, voice);
    if (!left.isEmpty())
        tip += QStringLiteral(", ") + left +
               (single(details.secondsToEmpty, details.timesProvisional)
                    ? QStringLiteral(" rimanente")
                    : QStringLiteral(" rimanenti"));
    return tip;
}

QString chargingTip(int percent, const BatteryDetails& details, Voice voice)
{
    QString tip = withPercent(QStringLiteral("In carica"), percent);
    const int limit = sharedLimit(details.batteries);
    const QString goal = limit < 0   ? QStringLiteral(", carica completa tra ")
                         : limit > 0 ? QStringLiteral(", limite di carica (%1%) tra ").arg(limit)
                                     : QStringLiteral(", limite di carica tra ");
    const QString left = durationText(details.secondsToFull, details.timesProvisional, voice);
    if (!left.isEmpty())
        tip += goal + left;
    return tip;
}

QString stateLine(const TipInput& in, Voice voice)
{
    const int percent = in.batteryLifePercent;
    const bool onMains = in.acLineStatus == power::kAcOnline;
    const BatteryDetails& details = in.details;
    switch (details.state) {
        case ChargeState::NoBattery:
            // Never beside a charge the strip shows: the state is not known.
            if (known(percent))
                break;
            return onMains ? QStringLiteral("Alimentazione da rete, nessuna batteria")
                           : QStringLiteral("Nessuna batteria");
        case ChargeState::Discharging:
            return dischargingTip(percent, details, voice);
        case ChargeState::Charging:
            return chargingTip(percent, details, voice);
        case ChargeState::Full:
            // A gauge may call itself full a little short of 100 %.
            return percent == 100 || !known(percent)
                       ? QStringLiteral("Carica completa")
                       : withPercent(QStringLiteral("Carica completa"), percent);
        case ChargeState::NotCharging:
            if (onMains && allHeldAtLimit(details.batteries)) {
                // The limit once: the charge the strip shows may be it.
                const int limit = sharedLimit(details.batteries);
                return withPercent(pausedText(limit == percent ? -1 : limit), percent);
            }
            return withPercent(onMains ? QStringLiteral("Alimentazione da rete, non in carica")
                                       : QStringLiteral("Non in carica"),
                               percent);
        case ChargeState::Empty:
            return withPercent(QStringLiteral("Batteria scarica"), percent);
        case ChargeState::Unknown:
            break;
    }
    // The battery does not say: running on it, it can only be discharging.
    if (in.acLineStatus == power::kAcOffline)
        return dischargingTip(percent, details, voice);
    if (onMains)
        return withPercent(QStringLiteral("Alimentazione da rete"), percent) + QLatin1Char('\n') +
               kUnknownState;
    if (known(percent))
        return withPercent(QStringLiteral("Carica"), percent) + QLatin1Char('\n') + kUnknownState;
    return kUnknownState;
}

QString powerLine(const BatteryDetails& details)
{
    if (details.watts <= 0.0)
        return {};
    if (details.state == ChargeState::Discharging)
        return QStringLiteral("Consumo: ") + wattsText(details.watts);
    if (details.state == ChargeState::Charging)
        return QStringLiteral("In carica a ") + wattsText(details.watts);
    return {};
}

QString packState(const BatteryPack& pack, bool onMains)
{
    switch (pack.state) {
        case ChargeState::Charging:
            return QStringLiteral("in carica");
        case ChargeState::Discharging:
            return QStringLiteral("in scarica");
        case ChargeState::Full:
            return QStringLiteral("carica completa");
        case ChargeState::NotCharging:
            if (onMains && battery::heldAtLimit(pack))
                return QStringLiteral("in pausa al limite di carica (%1%)").arg(pack.limitEnd);
            return QStringLiteral("non in carica");
        case ChargeState::Empty:
            return QStringLiteral("scarica");
        default:
            return {};
    }
}

QString cyclesText(int cycles)
{
    return cycles == 1 ? QStringLiteral("1 ciclo") : QStringLiteral("%1 cicli").arg(cycles);
}

// "Batteria 2 (DELL 7FHHV): 80%, in scarica, salute 87%, 312 cicli". Alone,
// the charge and the state are the first line's: the name and the health.
QString packLine(const BatteryPack& pack, const QString& name, bool onMains, bool alone)
{
    QString line = name;
    if (!pack.model.isEmpty())
        line += QStringLiteral(" (") + pack.model + QLatin1Char(')');
    QStringList parts;
    if (known(pack.percent) && !alone)
        parts << percentText(pack.percent);
    const QString state = alone ? QString() : packState(pack, onMains);
    if (!state.isEmpty())
        parts << state;
    if (pack.healthPercent >= 0)
        parts << QStringLiteral("salute ") + percentText(pack.healthPercent);
    if (pack.cycles > 0)
        parts << cyclesText(pack.cycles);
    return parts.isEmpty() ? line : line + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

QString healthLine(const BatteryPack& pack)
{
    QStringList parts;
    if (pack.healthPercent >= 0)
        parts << QStringLiteral("Capacità: ") + percentText(pack.healthPercent) +
                     QStringLiteral(" dell'originale");
    if (pack.cycles > 0)
        parts << (parts.isEmpty() ? QStringLiteral("Cicli di carica: %1").arg(pack.cycles)
                                  : cyclesText(pack.cycles));
    return parts.join(QStringLiteral(", "));
}

QString deviceName(DeviceKind kind)
{
    switch (kind) {
        case DeviceKind::Mouse:
            return QStringLiteral("Mouse");
        case DeviceKind::Keyboard:
            return QStringLiteral("Tastiera");
        case DeviceKind::Headset:
            return QStringLiteral("Cuffie");
        case DeviceKind::Pen:
            return QStringLiteral("Penna");
        case DeviceKind::Tablet:
            return QStringLiteral("Tablet");
        case DeviceKind::Phone:
            return QStringLiteral("Telefono");
        case DeviceKind::Gamepad:
            return QStringLiteral("Controller");
        case DeviceKind::Other:
            break;
    }
    return QStringLiteral("Dispositivo");
}

QString deviceLine(const DeviceBattery& device)
{
    QString line = deviceName(device.kind);
    if (!device.model.isEmpty())
        line += QStringLiteral(" (") + device.model + QLatin1Char(')');
    return line + QStringLiteral(": ") + percentText(device.percent);
}

}  // namespace

bool known(int percent)
{
    return percent >= 0 && percent <= 100;
}

QString percentText(int percent)
{
    return QString::number(percent) + QLatin1Char('%');
}

QString durationText(double seconds, bool provisional, Voice voice)
{
    const long long minutes = minutesOf(seconds, provisional);
    if (minutes < 0)
        return {};
    if (seconds > kDaySeconds)
        return QStringLiteral("più di un giorno");
    if (minutes == 0)
        return voice == Voice::Screen ? QStringLiteral("meno di 1 min")
                                      : QStringLiteral("meno di un minuto");
    return QStringLiteral("circa ") + durationWords(minutes, voice);
}

QString percentAfter(bool from, int percent)
{
    // Said with a vowel: uno, otto, undici, and ottanta to ottantanove.
    const bool vowel =
        percent == 1 || percent == 8 || percent == 11 || (percent >= 80 && percent <= 89);
    const QString article = from ? (vowel ? QStringLiteral("dall'") : QStringLiteral("dal "))
                                 : (vowel ? QStringLiteral("all'") : QStringLiteral("al "));
    return article + percentText(percent);
}

QString tipWords(const TipInput& in, Voice voice)
{
    QStringList lines{stateLine(in, voice)};
    const BatteryDetails& details = in.details;
    const QString power = powerLine(details);
    if (!power.isEmpty())
        lines << power;
    const bool onMains = in.acLineStatus == power::kAcOnline;
    // A UPS is named for what it is, even alone: the charge is not the
    // machine's own battery's.
    const bool alone = details.batteries.size() == 1;
    if (alone && !details.batteries.front().ups) {
        const QString health = healthLine(details.batteries.front());
        if (!health.isEmpty())
            lines << health;
    } else {
        int number = 0;
        for (const BatteryPack& pack : details.batteries)
            lines << packLine(pack,
                              pack.ups ? QStringLiteral("Gruppo di continuità")
                                       : QStringLiteral("Batteria %1").arg(++number),
                              onMains, alone);
    }
    for (const DeviceBattery& device : details.devices)
        if (known(device.percent))
            lines << deviceLine(device);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace tellavo
