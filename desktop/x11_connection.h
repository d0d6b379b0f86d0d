#pragma once

#include <cstdint>

// Declared as xcb declares it, so that this header needs no xcb include: the
// X11 headers stay inside this room's .cpp files.
struct xcb_connection_t;

namespace tellavo::x11 {

// Qt's own connection to the X server (also through Xwayland), or null when
// the program runs on another platform.
xcb_connection_t* connection();

// The atom of that name (an xcb_atom_t), or XCB_ATOM_NONE.
std::uint32_t atom(xcb_connection_t* c, const char* name);

}  // namespace tellavo::x11
