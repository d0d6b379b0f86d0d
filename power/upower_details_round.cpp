#include "upower_details_round.h"

#include "upower_properties.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QLoggingCategory>

#include <utility>

namespace tellavo {
namespace {

Q_LOGGING_CATEGORY(lcRound, "tellavo.platform.power.round", QtWarningMsg)

// More devices than any desk holds: past it, the rest are not asked.
constexpr int kMostDevices = 32;
// upowerd gives the samples within 0.95 of the span asked: a little more is
// asked, and what lies beyond the span is left out afterwards.
constexpr uint kDaySeconds = 86'400 * 20 / 19 + 1;
constexpr uint kRateSeconds = uint(history::kAverageSpanMs / 1000) * 20 / 19 + 1;
// The curve's points a day; the rate's over the average's span (10 s each).
constexpr uint kCurvePoints = 200;
constexpr uint kRatePoints = 64;

}  // namespace

DetailsRound::DetailsRound(Ask ask, Done done) : m_ask(std::move(ask)), m_done(std::move(done)) {}

void DetailsRound::start()
{
    if (m_pending) {
        m_again = true;
        return;
    }
    m_pending = true;
    m_ask(
        QDBusMessage::createMethodCall(upower::kService, upower::kRootPath, upower::kRootInterface,
                                       QStringLiteral("EnumerateDevices")),
        [this](const QDBusMessage& reply) { onEnumerated(reply); });
}

void DetailsRound::cancel()
{
    m_pending = false;
    m_again = false;
    m_left = 0;
    m_paths.clear();
    m_devices.clear();
}

void DetailsRound::onEnumerated(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "ao") {
        qCDebug(lcRound) << "no device list:" << reply.errorMessage();
        m_pending = false;
        return;
    }
    m_paths = qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(0)).mid(0, kMostDevices);
    m_devices.assign(static_cast<std::size_t>(m_paths.size()), {});
    m_left = static_cast<int>(m_paths.size());
    if (m_paths.isEmpty())
        finish();
    for (int i = 0; i < m_paths.size(); ++i) {
        QDBusMessage getAll =
            QDBusMessage::createMethodCall(upower::kService, m_paths[i].path(),
                                           upower::kPropertiesInterface, QStringLiteral("GetAll"));
        getAll << upower::kDeviceInterface;
        m_ask(getAll, [this, i](const QDBusMessage& reply) {
            if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "a{sv}")
                m_devices[static_cast<std::size_t>(i)].properties =
                    qdbus_cast<QVariantMap>(reply.arguments().at(0));
            if (--m_left == 0)
                askHistories();
        });
    }
}

// Each battery's history, for the rate over the last minutes and the curve.
// A call that fails (a daemon without history) leaves that part out.
void DetailsRound::askHistories()
{
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        if (!upower::ownBattery(m_devices[i].properties))
            continue;
        for (const bool rates : {true, false}) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                upower::kService, m_paths[int(i)].path(), upower::kDeviceInterface,
                QStringLiteral("GetHistory"));
            // A resolution of 0 makes upowerd 0.99 crash.
            call << (rates ? QStringLiteral("rate") : QStringLiteral("charge"))
                 << (rates ? kRateSeconds : kDaySeconds) << (rates ? kRatePoints : kCurvePoints);
            ++m_left;
            m_ask(call, [this, i, rates](const QDBusMessage& reply) {
                auto& into = rates ? m_devices[i].rates : m_devices[i].charges;
                into = upower::samplesOf(reply);
                if (--m_left == 0)
                    finish();
            });
        }
    }
    if (m_left == 0)
        finish();
}

void DetailsRound::finish()
{
    std::vector<DeviceRound> devices = std::move(m_devices);
    m_devices.clear();
    m_paths.clear();
    m_pending = false;
    m_done(std::move(devices));
    if (std::exchange(m_again, false))
        start();
}

}  // namespace tellavo
