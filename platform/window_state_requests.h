#pragma once

namespace velmora {

class X11Connection;

// From now on, keeps the toolkit's window-state requests (the _NET_WM_STATE
// messages it sends to the root for every window it makes) off the server.
// In a hosted run our window is a child of the host's: no window manager
// manages it, and a screen locker that watches the root takes such requests
// for a fault of its own window. Nothing else the program sends is touched.
void drop_window_state_requests(const X11Connection& x);

} // namespace velmora
