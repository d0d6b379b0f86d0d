#include "x11_hints.h"

#include "x11_connection.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <iterator>

namespace tellavo::x11 {

namespace {

// The Motif window manager hints, as window managers read them.
namespace mwm {
constexpr quint32 kHintsFunctions = 1u << 0;
constexpr quint32 kHintsDecorations = 1u << 1;
constexpr quint32 kFuncMove = 1u << 2;
constexpr quint32 kDecorBorder = 1u << 1;
constexpr quint32 kDecorTitle = 1u << 3;
}  // namespace mwm

}  // namespace

xcb_connection_t* connection()
{
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

std::uint32_t atom(xcb_connection_t* c, const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 0, quint16(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

bool requestTitleOnlyBar(const QWidget* window)
{
    xcb_connection_t* c = connection();
    if (!c || !window || !window->testAttribute(Qt::WA_WState_Created))
        return false;
    // The property's name is also its type.
    const xcb_atom_t hintsAtom = atom(c, "_MOTIF_WM_HINTS");
    if (hintsAtom == XCB_ATOM_NONE)
        return false;
    // flags, functions, decorations, input mode, status
    const quint32 hints[] = {mwm::kHintsFunctions | mwm::kHintsDecorations, mwm::kFuncMove,
                             mwm::kDecorBorder | mwm::kDecorTitle, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(window->winId()), hintsAtom,
                        hintsAtom, 32, std::size(hints), hints);
    xcb_flush(c);
    return true;
}

}  // namespace tellavo::x11
