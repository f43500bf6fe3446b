#include "app/preview.h"

#include "display/preview_bitmaps.h"
#include "platform/x11_window.h"

#include <QCoreApplication>
#include <chrono>
#include <thread>

namespace velmora {

namespace {

    using namespace std::chrono_literals;

    constexpr auto kFrameDelay = 40ms;
    // How often to look again while the host window is not yet shown.
    constexpr auto kMapPollDelay = 10ms;

    // Waits until the host window can be seen; false when it is gone or the
    // server connection broke before that.
    bool wait_until_viewable(X11Connection& x, std::uint32_t host)
    {
        for (;;) {
            const WindowState state = window_state(x, host);
            if (state == WindowState::viewable)
                return true;
            if (state == WindowState::gone || x.broken())
                return false;
            QCoreApplication::processEvents();
            x.discard_events();
            std::this_thread::sleep_for(kMapPollDelay);
        }
    }

} // namespace

PreviewPosition preview_position(
    int host_width, int host_height, int main_width, int main_height, int reflect_height)
{
    return { (host_width - main_width) / 2, (host_height - main_height - reflect_height) / 2 };
}

void run_preview(X11Connection& x, std::uint32_t host)
{
    if (!wait_until_viewable(x, host))
        return;
    const std::optional<WindowSize> size = window_size(x, host);
    if (!size)
        return;
    // Without a painter (a visual we cannot draw on) the loop still keeps
    // the preview alive for as long as the host shows it.
    const std::unique_ptr<WindowPainter> painter = WindowPainter::create(x, host);
    const PreviewBitmaps bitmaps = load_preview_bitmaps("Could not locate resource bitmap");
    const Bitmap& main = bitmaps.main;
    const Bitmap& reflect = bitmaps.reflect;

    const int w = main.width();
    // The host's extent is counted inclusively (right - left + 1), as saver
    // hosts have always measured it, so odd-sized hosts place the pictures one
    // pixel further right and down than plain centring would.
    const PreviewPosition at
        = preview_position(size->width + 1, size->height + 1, w, main.height(), reflect.height());
    const auto draw_main = [&] {
        if (painter)
            painter->draw(main, 0, 0, main.width(), main.height(), at.x, at.y);
    };

    draw_main();
    int frame = 0;
    while (window_state(x, host) == WindowState::viewable && !x.broken()) {
        frame = frame >= kReflectFrames ? 1 : frame + 1;
        draw_main();
        if (painter)
            painter->draw(
                reflect, w * (frame - 1), 0, w, reflect.height(), at.x, at.y + main.height());
        std::this_thread::sleep_for(kFrameDelay);
        QCoreApplication::processEvents();
        x.discard_events();
    }
}

} // namespace velmora
