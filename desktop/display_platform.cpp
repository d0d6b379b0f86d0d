#include "display_platform.h"

#include <QtGlobal>

namespace tellavo {

QByteArray preferredPlatform(const QByteArray& qpaPlatform, const QByteArray& sessionType,
                             const QByteArray& waylandDisplay, const QByteArray& display)
{
    if (!qpaPlatform.isEmpty() || display.isEmpty())
        return {};
    const bool wayland =
        sessionType.compare("wayland", Qt::CaseInsensitive) == 0 || !waylandDisplay.isEmpty();
    return wayland ? QByteArray("xcb") : QByteArray();
}

void preferX11Platform()
{
    const QByteArray choice =
        preferredPlatform(qgetenv("QT_QPA_PLATFORM"), qgetenv("XDG_SESSION_TYPE"),
                          qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"));
    if (!choice.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice);
}

}  // namespace tellavo
