#pragma once

#include "charge_history.h"

#include <QDBusObjectPath>
#include <QList>
#include <QVariantMap>

#include <functional>
#include <vector>

class QDBusMessage;

namespace tellavo {

// One device as a round found it: its properties and, for a battery of the
// machine, its history of rates and of charge.
struct DeviceRound {
    QVariantMap properties;
    std::vector<history::StateSample> rates;
    std::vector<history::StateSample> charges;
};

// One round of questions to UPower for the tip: EnumerateDevices, then GetAll
// of each device, then each battery's history (GetHistory of its rate over
// the average's span and of its charge over a day). Every call is
// asynchronous; a call that fails leaves its part out. A round asked for
// while one is under way follows it, since a device may have come after the
// list was taken.
class DetailsRound {
public:
    // Makes an asynchronous call and hands its reply (or error) on, unless
    // the service changed hands meanwhile.
    using Ask = std::function<void(const QDBusMessage& call,
                                   std::function<void(const QDBusMessage& reply)> then)>;
    using Done = std::function<void(std::vector<DeviceRound> devices)>;

    DetailsRound(Ask ask, Done done);

    void start();
    // The service changed hands or went: what is under way will never come.
    void cancel();
    bool pending() const { return m_pending; }

private:
    void onEnumerated(const QDBusMessage& reply);
    void askHistories();
    void finish();

    Ask m_ask;
    Done m_done;
    bool m_pending = false;
    bool m_again = false;
    int m_left = 0;
    QList<QDBusObjectPath> m_paths;
    std::vector<DeviceRound> m_devices;
};

}  // namespace tellavo
