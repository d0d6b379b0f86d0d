#include "status_words.h"

#include "texts.h"

#include <cmath>

namespace tellavo {
namespace {

// The picture series (see picture_choice.h): the battery cell fills 11 rows,
// picture n showing 12 - n of them; the mains gauge has 10 cells, picture n
// showing 24 - n.
constexpr int kLastBatteryPicture = 12;
constexpr int kBatteryRows = 11;
constexpr int kMainsFull = 13;
constexpr int kLastMainsPicture = 24;
constexpr int kMainsCells = 10;

const QString kUnknownState = QStringLiteral("Stato della batteria sconosciuto");
const QString kNoReading = QStringLiteral("Nessuna lettura");

bool known(int percent)
{
    return percent >= 0 && percent <= 100;
}

QString percentText(int percent)
{
    return QString::number(percent) + QLatin1Char('%');
}

// "In scarica" + ": 57%" when the percentage is known.
QString withPercent(const QString& head, int percent)
{
    return known(percent) ? head + QStringLiteral(": ") + percentText(percent) : head;
}

// The time to the nearest minute: 0 under a minute, -1 for no believable time.
long long minutesOf(double seconds)
{
    if (!battery::plausibleSeconds(seconds))
        return -1;
    return seconds < 60.0 ? 0 : std::llround(seconds / 60.0);
}

// "45 min" under an hour, "1 h 05 min" from one on.
QString duration(long long minutes)
{
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min")
        .arg(minutes / 60)
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString dischargingTip(int percent, double secondsToEmpty)
{
    QString tip = withPercent(QStringLiteral("In scarica"), percent);
    const long long minutes = minutesOf(secondsToEmpty);
    if (minutes == 0)
        tip += QStringLiteral(", meno di 1 min rimanente");
    else if (minutes > 0)
        tip += QStringLiteral(", circa ") + duration(minutes) +
               (minutes == 1 ? QStringLiteral(" rimanente") : QStringLiteral(" rimanenti"));
    return tip;
}

QString chargingTip(int percent, double secondsToFull)
{
    QString tip = withPercent(QStringLiteral("In carica"), percent);
    const long long minutes = minutesOf(secondsToFull);
    if (minutes == 0)
        tip += QStringLiteral(", carica completa tra meno di 1 min");
    else if (minutes > 0)
        tip += QStringLiteral(", carica completa tra ") + duration(minutes);
    return tip;
}

QString tipText(const StatusInput& in)
{
    const int percent = in.batteryLifePercent;
    const bool onMains = in.acLineStatus == power::kAcOnline;
    switch (in.details.state) {
        case ChargeState::NoBattery:
            return onMains ? QStringLiteral("Alimentazione da rete, nessuna batteria")
                           : QStringLiteral("Nessuna batteria");
        case ChargeState::Discharging:
            return dischargingTip(percent, in.details.secondsToEmpty);
        case ChargeState::Charging:
            return chargingTip(percent, in.details.secondsToFull);
        case ChargeState::Full:
            // A gauge may call itself full a little short of 100 %.
            return percent == 100 || !known(percent)
                       ? QStringLiteral("Carica completa")
                       : withPercent(QStringLiteral("Carica completa"), percent);
        case ChargeState::NotCharging:
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
        return dischargingTip(percent, in.details.secondsToEmpty);
    if (onMains)
        return withPercent(QStringLiteral("Alimentazione da rete"), percent) + QLatin1Char('\n') +
               kUnknownState;
    if (known(percent))
        return withPercent(QStringLiteral("Carica"), percent) + QLatin1Char('\n') + kUnknownState;
    return kUnknownState;
}

QString percentName(int percent)
{
    if (percent == kNotReadYet)
        return QStringLiteral("Carica: nessuna lettura");
    return known(percent) ? QStringLiteral("Carica: ") + percentText(percent)
                          : QStringLiteral("Carica sconosciuta");
}

QString barDescription(int percent)
{
    if (percent == kNotReadYet)
        return kNoReading;
    return known(percent) ? percentText(percent)
                          : QStringLiteral("Carica sconosciuta, la barra resta piena");
}

QString pictureDescription(int picture)
{
    if (picture >= 1 && picture < kLastBatteryPicture)
        return QStringLiteral("In scarica, livello %1 su %2")
            .arg(kLastBatteryPicture - picture)
            .arg(kBatteryRows);
    if (picture == kLastBatteryPicture)
        return QStringLiteral("In scarica, batteria vuota");
    if (picture == kMainsFull)
        return QStringLiteral("Alimentazione da rete, carica completa");
    if (picture > kMainsFull && picture <= kLastMainsPicture)
        return QStringLiteral("Alimentazione da rete, in carica, livello %1 su %2")
            .arg(kLastMainsPicture - picture)
            .arg(kMainsCells);
    return kNoReading;
}

}  // namespace

StatusWords statusWords(const StatusInput& input)
{
    StatusWords words;
    words.tip = tipText(input);
    words.window = {texts::title(), texts::strip::windowDescription()};
    words.percent = {percentName(input.batteryLifePercent), QString()};
    words.bar = {texts::strip::barName(), barDescription(input.batteryLifePercent)};
    words.picture = {texts::strip::pictureName(), pictureDescription(input.picture)};
    words.menu = {texts::strip::menuName(), texts::strip::menuHint()};
    words.slider = {texts::strip::sliderName(), texts::strip::sliderDescription()};
    return words;
}

}  // namespace tellavo
