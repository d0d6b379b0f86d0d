#pragma once
// What battery details tell, as text to compare at once: a failing test then
// shows every field side by side.
#include "battery_model.h"

#include <QString>
#include <QStringList>

namespace tellavo::test {

// Each battery of the machine: "model percent% s<state> h<health> c<cycles>
// l<limit end>/<start>", in the order told.
inline QString batteriesText(const BatteryDetails& d)
{
    QStringList out;
    for (const BatteryPack& p : d.batteries)
        out << QStringLiteral("%1 %2% s%3 h%4 c%5 l%6/%7")
                   .arg(p.model)
                   .arg(p.percent)
                   .arg(static_cast<int>(p.state))
                   .arg(p.healthPercent)
                   .arg(p.cycles)
                   .arg(p.limitEnd)
                   .arg(p.limitStart);
    return out.join(QLatin1String("; "));
}

// Each device's battery: "dev<kind> percent% model".
inline QString devicesText(const BatteryDetails& d)
{
    QStringList out;
    for (const DeviceBattery& dev : d.devices)
        out << QStringLiteral("dev%1 %2% %3")
                   .arg(static_cast<int>(dev.kind))
                   .arg(dev.percent)
                   .arg(dev.model);
    return out.join(QLatin1String("; "));
}

// The state, the times to the second and the watts, then the batteries.
inline QString machineText(const BatteryDetails& d)
{
    return QStringLiteral("state %1, empty %2 s, full %3 s, %4 W, provisional %5; ")
               .arg(static_cast<int>(d.state))
               .arg(qRound(d.secondsToEmpty))
               .arg(qRound(d.secondsToFull))
               .arg(d.watts, 0, 'f', 2)
               .arg(d.timesProvisional) +
           batteriesText(d);
}

}  // namespace tellavo::test
