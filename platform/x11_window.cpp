#include "platform/x11_window.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <xcb/xcb.h>

namespace velmora {

namespace {

    template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

    template <typename Reply> ReplyPtr<Reply> own(Reply* reply)
    {
        return { reply, &std::free };
    }

    // Moves an 8-bit channel value into the bits of `mask`.
    std::uint32_t place(int value, std::uint32_t mask)
    {
        if (mask == 0)
            return 0;
        const int shift = std::countr_zero(mask);
        const int bits = std::popcount(mask);
        auto v = static_cast<std::uint32_t>(value);
        v = bits >= 8 ? v << (bits - 8) : v >> (8 - bits);
        return (v << shift) & mask;
    }

    const xcb_visualtype_t* find_visual(const xcb_setup_t* setup, xcb_visualid_t id)
    {
        for (auto screen = xcb_setup_roots_iterator(setup); screen.rem; xcb_screen_next(&screen)) {
            for (auto depth = xcb_screen_allowed_depths_iterator(screen.data); depth.rem;
                 xcb_depth_next(&depth)) {
                for (auto visual = xcb_depth_visuals_iterator(depth.data); visual.rem;
                     xcb_visualtype_next(&visual)) {
                    if (visual.data->visual_id == id)
                        return visual.data;
                }
            }
        }
        return nullptr;
    }

    const xcb_format_t* find_format(const xcb_setup_t* setup, std::uint8_t depth)
    {
        for (auto format = xcb_setup_pixmap_formats_iterator(setup); format.rem;
             xcb_format_next(&format)) {
            if (format.data->depth == depth)
                return format.data;
        }
        return nullptr;
    }

} // namespace

int PixelLayout::stride(int width) const
{
    const long long bits = static_cast<long long>(width) * bits_per_pixel;
    return static_cast<int>((bits + scanline_pad - 1) / scanline_pad * scanline_pad / 8);
}

std::vector<std::uint8_t> pack_pixels(
    const PixelLayout& layout, const Bitmap& bitmap, int x, int y, int& width, int& height)
{
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    width = std::max(0, std::min(x + width, bitmap.width()) - x0);
    height = std::max(0, std::min(y + height, bitmap.height()) - y0);
    const int bytes = layout.bits_per_pixel / 8;
    const int stride = layout.stride(width);
    std::vector<std::uint8_t> data(
        static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row) {
        std::uint8_t* out
            = data.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(stride);
        for (int column = 0; column < width; ++column) {
            const Color c = bitmap.pixel(x0 + column, y0 + row);
            const std::uint32_t value = place(color_red(c), layout.red_mask)
                | place(color_green(c), layout.green_mask) | place(color_blue(c), layout.blue_mask)
                | layout.fill_bits;
            for (int k = 0; k < bytes; ++k) {
                const int byte = layout.msb_first ? bytes - 1 - k : k;
                *out++ = static_cast<std::uint8_t>(value >> (8 * byte));
            }
        }
    }
    return data;
}

std::unique_ptr<X11Connection> X11Connection::open()
{
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11Connection>(new X11Connection(connection, screen));
}

std::uint32_t X11Connection::root_window() const
{
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screen_ && roots.rem > 1; ++i)
        xcb_screen_next(&roots);
    return roots.data->root;
}

X11Connection::~X11Connection()
{
    xcb_disconnect(connection_);
}

bool X11Connection::broken() const
{
    return xcb_connection_has_error(connection_) != 0;
}

void X11Connection::discard_events()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
        std::free(event);
}

WindowState window_state(X11Connection& x, std::uint32_t window)
{
    if (window == XCB_WINDOW_NONE)
        return WindowState::gone;
    auto reply = own(xcb_get_window_attributes_reply(
        x.get(), xcb_get_window_attributes(x.get(), window), nullptr));
    if (!reply)
        return WindowState::gone;
    return reply->map_state == XCB_MAP_STATE_VIEWABLE ? WindowState::viewable : WindowState::hidden;
}

std::optional<WindowSize> window_size(X11Connection& x, std::uint32_t window)
{
    if (window == XCB_WINDOW_NONE)
        return std::nullopt;
    auto reply = own(xcb_get_geometry_reply(x.get(), xcb_get_geometry(x.get(), window), nullptr));
    if (!reply)
        return std::nullopt;
    return WindowSize { reply->width, reply->height };
}

std::unique_ptr<WindowPainter> WindowPainter::create(X11Connection& x, std::uint32_t window)
{
    if (window == XCB_WINDOW_NONE)
        return nullptr;
    xcb_connection_t* c = x.get();
    const auto attributes_cookie = xcb_get_window_attributes(c, window);
    const auto geometry_cookie = xcb_get_geometry(c, window);
    auto attributes = own(xcb_get_window_attributes_reply(c, attributes_cookie, nullptr));
    auto geometry = own(xcb_get_geometry_reply(c, geometry_cookie, nullptr));
    if (!attributes || !geometry)
        return nullptr;

    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_visualtype_t* visual = find_visual(setup, attributes->visual);
    const xcb_format_t* format = find_format(setup, geometry->depth);
    if (!visual || !format || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR)
        return nullptr;
    if (format->bits_per_pixel != 16 && format->bits_per_pixel != 24
        && format->bits_per_pixel != 32)
        return nullptr;

    PixelLayout layout;
    layout.bits_per_pixel = format->bits_per_pixel;
    layout.scanline_pad = format->scanline_pad;
    layout.msb_first = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    layout.red_mask = visual->red_mask;
    layout.green_mask = visual->green_mask;
    layout.blue_mask = visual->blue_mask;
    const std::uint32_t depth_bits
        = geometry->depth >= 32 ? 0xFFFFFFFFu : (1u << geometry->depth) - 1;
    layout.fill_bits = depth_bits & ~(layout.red_mask | layout.green_mask | layout.blue_mask);

    const xcb_gcontext_t gc = xcb_generate_id(c);
    const std::uint32_t values[] = { 0 };
    xcb_create_gc(c, gc, window, XCB_GC_GRAPHICS_EXPOSURES, values);
    return std::unique_ptr<WindowPainter>(
        new WindowPainter(x, window, gc, layout, geometry->depth));
}

WindowPainter::~WindowPainter()
{
    xcb_free_gc(x_.get(), gc_);
    xcb_flush(x_.get());
}

void WindowPainter::draw(
    const Bitmap& bitmap, int sx, int sy, int width, int height, int dx, int dy)
{
    // The source rectangle may start outside the bitmap; the part that lies
    // inside keeps its place relative to the destination.
    const int shift_x = std::max(0, -sx);
    const int shift_y = std::max(0, -sy);
    const std::vector<std::uint8_t> data = pack_pixels(layout_, bitmap, sx, sy, width, height);
    if (width <= 0 || height <= 0)
        return;
    xcb_put_image(x_.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_,
        static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
        static_cast<std::int16_t>(dx + shift_x), static_cast<std::int16_t>(dy + shift_y), 0, depth_,
        static_cast<std::uint32_t>(data.size()), data.data());
    xcb_flush(x_.get());
}

} // namespace velmora
