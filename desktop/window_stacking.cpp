#include "window_stacking.h"

#include "x11_connection.h"

#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>

namespace tellavo::stacking {

namespace {

constexpr uint32_t kAllDesktops = 0xFFFFFFFF;
// Long enough for openbox to have mapped the window; a place lost before it
// holds when given again (seen in every run).
constexpr int kPlaceAgainMs = 200;
// The source of a request to the window manager: an ordinary application.
constexpr uint32_t kFromApplication = 1;
// _NET_WM_MOVERESIZE's action that ends a move under way or about to start.
constexpr uint32_t kMoveResizeCancel = 11;

template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// The value of a property of the given type and format, as raw bytes.
QByteArray property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                    int format)
{
    constexpr uint32_t kMaxLongs = 256;  // a window manager's name is short
    // A window gone (a window manager's stale check window) is no value, and
    // no X error for Qt to report.
    xcb_generic_error_t* error = nullptr;
    XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, kMaxLongs), &error),
        &std::free);
    std::free(error);
    if (!reply || reply->type != type || reply->format != format)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

xcb_window_t windowProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name)
{
    const QByteArray value = property(c, window, name, XCB_ATOM_WINDOW, 32);
    if (value.size() != sizeof(xcb_window_t))
        return XCB_WINDOW_NONE;
    xcb_window_t id;
    std::memcpy(&id, value.constData(), sizeof id);
    return id;
}

// A request to the window manager about one of our windows, sent as EWMH
// has clients send them: to the root window.
void tellWindowManager(xcb_connection_t* c, xcb_window_t window, const char* type,
                       std::initializer_list<uint32_t> data)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = x11::atom(c, type);
    std::copy(data.begin(), data.end(), std::begin(message.data.data32));
    xcb_send_event(c, 0, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
}

// Some window managers (KWin) put a transient window, as Qt makes a tool
// window, on its main window's workspace whatever the window asked for before
// it was mapped; asked again once it is mapped, they put it on every one.
class AllDesktopsOnMap : public QObject {
public:
    explicit AllDesktopsOnMap(QWindow* window) : QObject(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = static_cast<QWindow*>(watched);
        if (event->type() != QEvent::Expose || !window->isExposed())
            return false;
        if (xcb_connection_t* c = x11::connection())
            tellWindowManager(c, static_cast<xcb_window_t>(window->winId()), "_NET_WM_DESKTOP",
                              {kAllDesktops, kFromApplication});
        window->removeEventFilter(this);
        deleteLater();
        return false;
    }
};

}  // namespace

void setAbove(QWidget* window, bool above)
{
    if (!window)
        return;
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, above);
    flags.setFlag(Qt::WindowStaysOnBottomHint, false);
    // On X11 QWindow::setFlags() sends _NET_WM_STATE_ADD/REMOVE for
    // _NET_WM_STATE_ABOVE to a mapped window, or sets the property for the
    // next map; the window manager keeps its place and size, and the other
    // states (sticky, no taskbar entry) are not touched.
    window->overrideWindowFlags(flags);
    if (QWindow* handle = window->windowHandle())
        handle->setFlags(flags);
}

Placement placementFor(const QByteArray& wmName)
{
    // Every wlroots compositor's Xwayland window manager takes this name.
    return wmName.startsWith("wlroots") ? Placement::SelfPlaced : Placement::Managed;
}

QByteArray windowManagerName()
{
    xcb_connection_t* c = x11::connection();
    if (!c)
        return {};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t check = x11::atom(c, "_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t wm = windowProperty(c, root, check);
    // A window manager that died leaves the root's property behind; its check
    // window, gone or reused, then does not point at itself.
    if (wm == XCB_WINDOW_NONE || windowProperty(c, wm, check) != wm)
        return {};
    return property(c, wm, x11::atom(c, "_NET_WM_NAME"), x11::atom(c, "UTF8_STRING"), 8);
}

void prepareIndicator(QWidget* window)
{
    xcb_connection_t* c = x11::connection();
    if (!window || !c)
        return;
    // Override-redirect is fixed when the X window is made, so it is chosen first.
    if (placementFor(windowManagerName()) == Placement::SelfPlaced)
        window->setWindowFlag(Qt::X11BypassWindowManagerHint, true);
    const auto id = static_cast<xcb_window_t>(window->winId());
    // Set on the unmapped window, the window manager reads them when it maps
    // it; Qt adds its own states to the property rather than replacing it.
    const xcb_atom_t states[] = {x11::atom(c, "_NET_WM_STATE_STICKY"),
                                 x11::atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                                 x11::atom(c, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(c, XCB_PROP_MODE_APPEND, id, x11::atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM,
                        32, static_cast<uint32_t>(std::size(states)), states);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, x11::atom(c, "_NET_WM_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &kAllDesktops);
    xcb_flush(c);
    if (!isUnmanaged(window))
        new AllDesktopsOnMap(window->windowHandle());
}

bool isUnmanaged(const QWidget* window)
{
    return window && window->windowFlags().testFlag(Qt::X11BypassWindowManagerHint);
}

QPoint clampPlace(QPoint pixels)
{
    const auto clamp = [](int v) {
        constexpr int lo = std::numeric_limits<qint16>::min();
        constexpr int hi = std::numeric_limits<qint16>::max();
        return v < lo ? lo : (v > hi ? hi : v);
    };
    return QPoint(clamp(pixels.x()), clamp(pixels.y()));
}

void placeWindow(QWidget* window, const std::function<QPoint()>& place,
                 const std::function<bool()>& keep)
{
    window->move(place());
    QTimer::singleShot(kPlaceAgainMs, window, [window, place, keep] {
        if (keep() && window->pos() != place())
            window->move(place());
    });
}

void cancelSystemMove(const QWidget* window)
{
    xcb_connection_t* c = x11::connection();
    if (!c || !window || !window->testAttribute(Qt::WA_WState_Created))
        return;
    tellWindowManager(c, static_cast<xcb_window_t>(window->winId()), "_NET_WM_MOVERESIZE",
                      {0, 0, kMoveResizeCancel, XCB_BUTTON_INDEX_1, kFromApplication});
}

}  // namespace tellavo::stacking
