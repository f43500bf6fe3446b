#include "platform/window_state_requests.h"

#include "platform/x11_window.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <xcb/xcb.h>

namespace {

// The message type to drop; none until a hosted run asks for it.
std::atomic<xcb_atom_t> dropped_type { XCB_ATOM_NONE };

} // namespace

// The toolkit's X11 plugin sends its requests through libxcb's
// xcb_send_event. Defined in the program, this one is found first; it
// passes every other event on to libxcb's own.
extern "C" xcb_void_cookie_t xcb_send_event(xcb_connection_t* connection, uint8_t propagate,
    xcb_window_t destination, uint32_t event_mask, const char* event)
{
    using SendEvent
        = xcb_void_cookie_t (*)(xcb_connection_t*, uint8_t, xcb_window_t, uint32_t, const char*);
    static const auto send = reinterpret_cast<SendEvent>(dlsym(RTLD_NEXT, "xcb_send_event"));
    const xcb_atom_t dropped = dropped_type.load(std::memory_order_relaxed);
    if (dropped != XCB_ATOM_NONE && event && (event[0] & 0x7f) == XCB_CLIENT_MESSAGE
        && reinterpret_cast<const xcb_client_message_event_t*>(event)->type == dropped)
        return xcb_void_cookie_t { 0 };
    return send(connection, propagate, destination, event_mask, event);
}

namespace velmora {

void drop_window_state_requests(const X11Connection& x)
{
    static constexpr char kName[] = "_NET_WM_STATE";
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        x.get(), xcb_intern_atom(x.get(), 0, sizeof kName - 1, kName), nullptr);
    if (!reply)
        return;
    dropped_type.store(reply->atom, std::memory_order_relaxed);
    std::free(reply);
}

} // namespace velmora
