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

// The strip is a few kilobytes: shared memory saves no copy worth having, and
// Qt makes a round trip to the X server before it paints again into an image
// the server may still be reading: two or three more wake-ups at each change
// of the charge, a quarter of the program's own on a draining battery.
void paintWithoutSharedMemory()
{
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
}

}  // namespace tellavo
