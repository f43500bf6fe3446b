#include "display/preview_bitmaps.h"
#include "x11_session.h"

#include <gtest/gtest.h>
#include <set>

using namespace std::chrono_literals;
using velmora::Bitmap;

namespace {

struct Pictures {
    Bitmap main = *velmora::load_resource_bitmap(velmora::kMainResource);
    Bitmap reflect = *velmora::load_resource_bitmap(velmora::kReflectResource);
    int w = main.width();
};

// Compares the rectangle (ax, ay, width, height) of `a` with the same-sized
// rectangle at (bx, by) of `b`.
bool same_pixels(
    const Bitmap& a, int ax, int ay, const Bitmap& b, int bx, int by, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (a.pixel(ax + x, ay + y) != b.pixel(bx + x, by + y))
                return false;
        }
    }
    return true;
}

// Which reflection frame (1 to 5) a capture of a window region shows under
// MAIN, with the pictures' top-left corner at (x, y) of the capture and
// (sx, sy) the first picture pixel inside it; 0 when the region does not show
// the preview.
int shown_frame(const Pictures& p, const Bitmap& capture, int x, int y, int sx = 0, int sy = 0)
{
    const int main_rows = std::min(capture.height() - y, p.main.height() - sy);
    const int columns = std::min(capture.width() - x, p.w - sx);
    if (!same_pixels(capture, x, y, p.main, sx, sy, columns, main_rows))
        return 0;
    const int reflect_rows = capture.height() - y - main_rows;
    for (int frame = 1; frame <= velmora::kReflectFrames; ++frame) {
        if (same_pixels(capture, x, y + main_rows, p.reflect, (frame - 1) * p.w + sx, 0, columns,
                reflect_rows))
            return frame;
    }
    return 0;
}

// Collects the frames the window shows, one entry per change, until `count`
// changes were seen or the time is up.
std::vector<int> watch_frames(X11Session& x, xcb_window_t host, const Pictures& p, int left,
    int top, std::size_t count, std::chrono::milliseconds timeout)
{
    std::vector<int> seen;
    wait_until(timeout, [&] {
        const int frame = shown_frame(p, x.read_pixels(host, left, top, p.w, 78), 0, 0);
        if (frame && (seen.empty() || seen.back() != frame))
            seen.push_back(frame);
        return seen.size() >= count;
    });
    return seen;
}

bool all_black(const Bitmap& b, int x0, int y0, int x1, int y1)
{
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (b.pixel(x, y) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

TEST(Preview, DrawsThePictureAndCyclesTheReflectionInOrderUntilHidden)
{
    X11Session x;
    const Pictures p;
    ASSERT_EQ(p.main.height() + p.reflect.height(), 78);
    // Odd sizes: the host's extent counts inclusively (202 x 152), so the
    // pictures sit at ((202 - 76) div 2, (152 - 78) div 2).
    const xcb_window_t host = x.create_window(0, 0, 201, 151);
    Child preview(velmora_command({ "/p", std::to_string(host) }));
    const int left = 63, top = 37;

    const std::vector<int> seen = watch_frames(x, host, p, left, top, 9, 10s);
    ASSERT_GE(seen.size(), 9u) << "the preview did not animate";
    // Frames follow 1, 2, 3, 4, 5, 1, ...; a sample may now and then miss
    // one frame on a busy machine, but never go back.
    int single_steps = 0;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        const int step = (seen[i] - seen[i - 1] + 5) % 5;
        EXPECT_TRUE(step == 1 || step == 2) << seen[i - 1] << " then " << seen[i];
        single_steps += step == 1;
    }
    EXPECT_GE(single_steps, 6);
    EXPECT_GE(std::set<int>(seen.begin(), seen.end()).size(), 3u);

    // Nothing is drawn outside the pictures.
    const Bitmap whole = x.read_pixels(host, 0, 0, 201, 151);
    EXPECT_TRUE(all_black(whole, 0, 0, 201, top));
    EXPECT_TRUE(all_black(whole, 0, top + 78, 201, 151));
    EXPECT_TRUE(all_black(whole, 0, top, left, top + 78));
    EXPECT_TRUE(all_black(whole, left + 76, top, 201, top + 78));

    x.unmap(host);
    EXPECT_EQ(preview.wait_for_exit(5s), 0);
    EXPECT_EQ(preview.error_output(), "");
}

TEST(Preview, HostSmallerThanThePicturesShowsTheirMiddleAndDestroyingItEndsThePreview)
{
    X11Session x;
    const Pictures p;
    // Offsets (51 - 76) div 2 = -12 and (41 - 78) div 2 = -18 (the host's
    // extent counts inclusively; the division truncates toward zero).
    const xcb_window_t host = x.create_window(0, 0, 50, 40);
    Child preview(velmora_command({ "-P", std::to_string(host) }));
    EXPECT_TRUE(wait_until(
        5s, [&] { return shown_frame(p, x.read_pixels(host, 0, 0, 50, 40), 0, 0, 12, 18) != 0; }));
    x.destroy(host);
    EXPECT_EQ(preview.wait_for_exit(5s), 0);
    EXPECT_EQ(preview.error_output(), "");
}

TEST(Preview, WaitsForTheHostToBeShown)
{
    X11Session x;
    const Pictures p;
    const xcb_window_t host = x.create_window(0, 0, 76, 78);
    x.unmap(host);
    Child preview(velmora_command({ "p", std::to_string(host) }));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(preview.running());
    x.map(host);
    EXPECT_FALSE(watch_frames(x, host, p, 0, 0, 2, 5s).size() < 2);
    x.unmap(host);
    EXPECT_EQ(preview.wait_for_exit(5s), 0);
}

TEST(Preview, WithoutAUsableHostEndsAtOnce)
{
    X11Session x;
    const xcb_window_t gone = x.create_window(0, 0, 10, 10);
    x.destroy(gone);
    for (const std::string& id : { std::to_string(gone), std::string("abc"), std::string() }) {
        Child preview(velmora_command(id.empty() ? std::vector<std::string> { "/p" }
                                                 : std::vector<std::string> { "/p", id }));
        EXPECT_EQ(preview.wait_for_exit(5s), 0) << "host '" << id << "'";
    }
}

TEST(InstanceGuard, SecondPreviewEndsAtOnceAndDrawsNothing)
{
    X11Session x;
    const Pictures p;
    const xcb_window_t first_host = x.create_window(0, 0, 76, 78);
    const xcb_window_t second_host = x.create_window(200, 0, 76, 78);
    Child first(velmora_command({ "/p", std::to_string(first_host) }));
    ASSERT_FALSE(watch_frames(x, first_host, p, 0, 0, 1, 5s).empty());

    Child second(velmora_command({ "/p", std::to_string(second_host) }));
    EXPECT_EQ(second.wait_for_exit(3s), 0);
    EXPECT_TRUE(all_black(x.read_pixels(second_host, 0, 0, 76, 78), 0, 0, 76, 78));
    EXPECT_TRUE(first.running());

    x.unmap(first_host);
    EXPECT_EQ(first.wait_for_exit(5s), 0);
}

TEST(InstanceGuard, KilledInstanceNeverBlocksTheNextStart)
{
    X11Session x;
    const Pictures p;
    const xcb_window_t host = x.create_window(0, 0, 76, 78);
    Child first(velmora_command({ "/p", std::to_string(host) }));
    ASSERT_FALSE(watch_frames(x, host, p, 0, 0, 1, 5s).empty());
    first.kill_now();

    x.clear(host);
    Child next(velmora_command({ "/p", std::to_string(host) }));
    EXPECT_FALSE(watch_frames(x, host, p, 0, 0, 1, 5s).empty());
    x.unmap(host);
    EXPECT_EQ(next.wait_for_exit(5s), 0);
}
