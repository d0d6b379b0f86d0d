#include "battery_model.h"

#include <algorithm>
#include <cmath>

namespace tellavo {
namespace battery {

bool plausibleSeconds(double seconds)
{
    return seconds > 0.0 && seconds <= kLongestSeconds;
}

double seconds(double value)
{
    return plausibleSeconds(value) ? value : 0.0;
}

double watts(double value)
{
    const double size = std::fabs(value);
    return size >= kLeastWatts && size <= kMostWatts ? size : 0.0;
}

int health(double full, double design)
{
    if (!(full > 0.0) || !(design > 0.0) || !std::isfinite(full) || !std::isfinite(design))
        return kNotKnown;
    const double percent = 100.0 * full / design;
    if (percent < kLeastHealth)
        return kNotKnown;
    return percent >= 100.0 ? 100 : static_cast<int>(std::lround(percent));
}

int limit(long long value)
{
    return value >= 1 && value <= 99 ? static_cast<int>(value) : kNotKnown;
}

bool heldAtLimit(const BatteryPack& pack)
{
    if (pack.limitEnd <= 0 || pack.percent < 0)
        return false;
    return pack.percent >= pack.limitEnd ||
           (pack.limitStart >= 0 && pack.percent >= pack.limitStart);
}

bool plausibleLevel(double now, double full)
{
    return full > 0.0 && std::isfinite(full) && percent::plausible(100.0 * now / full);
}

QString model(const QString& text)
{
    const QString name = text.simplified();
    if (name.size() > kLongestModel)
        return {};
    for (const QChar c : name)
        if (!c.isPrint() || c == QChar::ReplacementCharacter)
            return {};
    return name;
}

}  // namespace battery

namespace {

constexpr double kSecondsPerHour = 3600.0;

// The charge in percent: the source's own figure, else now against full;
// NaN when neither is believable.
double ownPercent(const BatteryReading& r)
{
    if (percent::plausible(r.percent))
        return r.percent;
    return battery::plausibleLevel(r.now, r.full) ? 100.0 * r.now / r.full
                                                  : BatteryReading::kNotRead;
}

int percentOf(const BatteryReading& r)
{
    const double percent = ownPercent(r);
    return std::isnan(percent) ? battery::kNotKnown : percent::reading(percent);
}

double wattsOf(const BatteryReading& r)
{
    return r.voltageGuessed ? 0.0 : battery::watts(r.rate);
}

// This moment's rate by its size; 0 when it is none worth a time (out of
// all reason as power, or not read).
double rateOf(const BatteryReading& r)
{
    if (!std::isfinite(r.rate))
        return 0.0;
    return battery::watts(r.rate) > 0.0 || r.voltageGuessed ? std::fabs(r.rate) : 0.0;
}

BatteryPack packOf(const BatteryReading& r)
{
    BatteryPack pack;
    pack.model = battery::model(r.model);
    pack.ups = r.ups;
    pack.percent = percentOf(r);
    pack.state = r.state;
    pack.healthPercent = battery::health(r.full, r.design);
    if (r.cycles >= 1 && r.cycles <= battery::kMostCycles)
        pack.cycles = static_cast<int>(r.cycles);
    pack.limitEnd = battery::limit(r.limitEnd);
    pack.limitStart = pack.limitEnd > 0 ? battery::limit(r.limitStart) : battery::kNotKnown;
    if (pack.limitStart >= pack.limitEnd)
        pack.limitStart = battery::kNotKnown;
    const bool stopped = r.state == ChargeState::NotCharging || r.state == ChargeState::Full;
    if (stopped && pack.percent < 100 && battery::heldAtLimit(pack))
        pack.state = ChargeState::NotCharging;
    else if (r.state == ChargeState::NotCharging && pack.percent >= battery::kFullFrom)
        pack.state = ChargeState::Full;
    return pack;
}

ChargeState stateOf(const std::vector<BatteryPack>& packs)
{
    const auto any = [&](ChargeState state) {
        return std::any_of(packs.begin(), packs.end(),
                           [state](const BatteryPack& p) { return p.state == state; });
    };
    for (const ChargeState state :
         {ChargeState::Charging, ChargeState::Discharging, ChargeState::NotCharging,
          ChargeState::Empty, ChargeState::Full})
        if (any(state))
            return state;
    return ChargeState::Unknown;
}

}  // namespace

bool kernelNameBefore(const QString& a, const QString& b)
{
    // Runs of digits compare by their value, the rest by character.
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            int endA = i;
            int endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            // Leading zeros aside, a longer run is a larger number.
            const QStringView digitsA = QStringView(a).mid(i, endA - i);
            const QStringView digitsB = QStringView(b).mid(j, endB - j);
            const auto significant = [](QStringView d) {
                qsizetype k = 0;
                while (k + 1 < d.size() && d[k] == QLatin1Char('0'))
                    ++k;
                return d.mid(k);
            };
            const QStringView x = significant(digitsA);
            const QStringView y = significant(digitsB);
            if (x.size() != y.size())
                return x.size() < y.size();
            if (const int order = x.compare(y); order != 0)
                return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

double chargePercent(const std::vector<BatteryReading>& readings)
{
    int batteries = 0;
    double now = 0.0;
    double full = 0.0;
    bool levels = true;
    double weighed = 0.0;  // percent times full
    double plain = 0.0;    // percent
    bool weights = true;
    double lastPercent = BatteryReading::kNotRead;
    for (const BatteryReading& r : readings) {
        const double percent = r.powersSystem ? ownPercent(r) : BatteryReading::kNotRead;
        if (std::isnan(percent))
            continue;
        ++batteries;
        lastPercent = percent;
        plain += percent;
        weights = weights && r.full > 0.0 && std::isfinite(r.full);
        weighed += percent * r.full;
        levels = levels && battery::plausibleLevel(r.now, r.full);
        now += r.now;
        full += r.full;
    }
    if (batteries <= 1)
        return lastPercent;
    return levels ? 100.0 * now / full : weights ? weighed / full : plain / batteries;
}

BatteryDetails batteryDetails(std::vector<BatteryReading> readings,
                              std::optional<double> settledWatts)
{
    // The machine's own batteries first, by name; the devices' as listed.
    const auto devices = std::stable_partition(
        readings.begin(), readings.end(), [](const BatteryReading& r) { return r.powersSystem; });
    std::stable_sort(readings.begin(), devices,
                     [](const BatteryReading& a, const BatteryReading& b) {
                         return kernelNameBefore(a.kernelName, b.kernelName);
                     });
    BatteryDetails details;
    bool summable = true;
    double now = 0.0;
    double missing = 0.0;  // to each battery's limit, or to full
    double rate = 0.0;     // this moment's
    for (const BatteryReading& r : readings) {
        if (!r.powersSystem) {
            const int percent = percentOf(r);
            if (percent != battery::kNotKnown)
                details.devices.push_back({r.device, battery::model(r.model), percent});
            continue;
        }
        const BatteryPack pack = packOf(r);
        details.batteries.push_back(pack);
        details.watts += wattsOf(r);
        // The times need every battery's level.
        if (!battery::plausibleLevel(r.now, r.full)) {
            summable = false;
            continue;
        }
        now += r.now;
        const double target = pack.limitEnd > 0 ? r.full * pack.limitEnd / 100.0 : r.full;
        missing += r.now < target ? target - r.now : 0.0;
        rate += rateOf(r);
    }
    if (details.batteries.empty()) {
        details.state = ChargeState::NoBattery;
        return details;
    }
    details.watts = battery::watts(details.watts);
    details.state = stateOf(details.batteries);

    // The rate averaged over the last minutes when it goes the state's way,
    // else this moment's.
    const bool charging = details.state == ChargeState::Charging;
    details.timesProvisional = true;
    if (summable && settledWatts && (charging ? *settledWatts > 0.0 : *settledWatts < 0.0)) {
        rate = std::fabs(*settledWatts);
        details.timesProvisional = false;
    }
    if (!summable || !(rate > 0.0))
        return details;
    if (details.state == ChargeState::Discharging)
        details.secondsToEmpty = battery::seconds(kSecondsPerHour * now / rate);
    else if (charging)
        details.secondsToFull = battery::seconds(kSecondsPerHour * missing / rate);
    return details;
}

}  // namespace tellavo
