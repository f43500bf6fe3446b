#include "x11_session.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(Configure, ShowsTheSetupWindowUntilItIsClosed)
{
    X11Session x;
    Child setup(velmora_command({ "/c" }));
    std::optional<xcb_window_t> window;
    ASSERT_TRUE(
        wait_until(10s, [&] { return (window = x.find_window("Velmora Setup")).has_value(); }));
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(setup.running());

    // While it runs, a second copy in any guarded mode ends at once.
    Child second(velmora_command({}));
    EXPECT_EQ(second.wait_for_exit(5s), 0);

    x.send_close(*window);
    EXPECT_EQ(setup.wait_for_exit(5s), 0);
    EXPECT_EQ(setup.error_output(), "");
}
