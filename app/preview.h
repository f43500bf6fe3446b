#pragma once

#include <cstdint>

namespace velmora {

class X11Connection;

struct PreviewPosition {
    int x = 0;
    int y = 0;
};

// Where the preview puts the top-left corner of MAIN in a host of the given
// size: centred with REFLECT beneath it. Integer division truncates toward
// zero, so a host smaller than the pictures gives a negative offset.
PreviewPosition preview_position(
    int host_width, int host_height, int main_width, int main_height, int reflect_height);

// The preview loop: waits until the host window is viewable, then draws MAIN
// and the five REFLECT frames in turn into it every 40 ms, handling pending
// events in between, until the host window is hidden or destroyed. Returns at
// once when the host window does not exist.
void run_preview(X11Connection& x, std::uint32_t host);

} // namespace velmora
