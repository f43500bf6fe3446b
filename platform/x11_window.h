#pragma once

#include "imaging/bitmap.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace velmora {

// How pixels of one X11 visual are laid out in a ZPixmap image.
struct PixelLayout {
    int bits_per_pixel = 32; // 16, 24 or 32
    int scanline_pad = 32; // rows start on multiples of this many bits
    bool msb_first = false; // the server's image byte order
    std::uint32_t red_mask = 0xFF0000;
    std::uint32_t green_mask = 0x00FF00;
    std::uint32_t blue_mask = 0x0000FF;
    // Bits of the window's depth outside the three colour masks (the alpha
    // of a 32-bit visual): always set, so drawn pixels are opaque.
    std::uint32_t fill_bits = 0;

    int stride(int width) const;
};

// Converts the rectangle (x, y, width, height) of a 24-bit bitmap, clipped to
// the bitmap, to image data for the layout. The width and height are reduced
// to what lies inside the bitmap.
std::vector<std::uint8_t> pack_pixels(
    const PixelLayout& layout, const Bitmap& bitmap, int x, int y, int& width, int& height);

// A connection of our own to the X server, used to look at and draw into a
// window that belongs to another program (the host of the preview, the
// parent of the password dialog). Errors about that window arrive on this
// connection only and never disturb the rest of the program.
class X11Connection {
public:
    // Connects to $DISPLAY; nothing when there is no X server to talk to.
    static std::unique_ptr<X11Connection> open();
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    // The root window of the screen $DISPLAY names.
    std::uint32_t root_window() const;
    bool broken() const;
    // Throws away queued events and errors: the window we draw into may
    // vanish between two requests, and the resulting errors need no answer.
    void discard_events();

private:
    X11Connection(xcb_connection_t* connection, int screen)
        : connection_(connection)
        , screen_(screen)
    {
    }
    xcb_connection_t* connection_;
    int screen_;
};

enum class WindowState {
    viewable, // mapped, and so are all its ancestors
    hidden,
    gone, // destroyed, or never existed
};

WindowState window_state(X11Connection& x, std::uint32_t window);

struct WindowSize {
    int width = 0;
    int height = 0;
};
// The window's size as the server knows it; nothing when the window is gone.
std::optional<WindowSize> window_size(X11Connection& x, std::uint32_t window);

// Draws bitmaps into a foreign window with plain core requests.
class WindowPainter {
public:
    // Nothing when the window is gone or its visual is not a true-colour one
    // of 16, 24 or 32 bits per pixel.
    static std::unique_ptr<WindowPainter> create(X11Connection& x, std::uint32_t window);
    ~WindowPainter();
    WindowPainter(const WindowPainter&) = delete;
    WindowPainter& operator=(const WindowPainter&) = delete;

    const PixelLayout& layout() const { return layout_; }
    // Copies the rectangle (sx, sy, width, height) of `bitmap` to (dx, dy) of
    // the window; the server clips at the window's edges.
    void draw(const Bitmap& bitmap, int sx, int sy, int width, int height, int dx, int dy);

private:
    WindowPainter(X11Connection& x, std::uint32_t window, std::uint32_t gc, PixelLayout layout,
        std::uint8_t depth)
        : x_(x)
        , window_(window)
        , gc_(gc)
        , layout_(layout)
        , depth_(depth)
    {
    }
    X11Connection& x_;
    std::uint32_t window_;
    std::uint32_t gc_;
    PixelLayout layout_;
    std::uint8_t depth_;
};

} // namespace velmora
