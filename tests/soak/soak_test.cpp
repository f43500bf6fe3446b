// A soak run: the real saver on a private X server, as a slide show of five
// pictures of different formats changing every second, with an overlay set,
// for VELMORA_SOAK_SECONDS (60 by default; tests/soak/run makes it ten
// minutes). Its resident memory after the first cycle may grow by less than
// 5 %, and at the end a key still ends it.

#include "app_x11/x11_session.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <xcb/xtest.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// Resident memory of a process in KiB, 0 when it cannot be read.
long resident_kib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

TEST(Soak, SlideShowHoldsItsMemoryAndKeepsAnswering)
{
    // AddressSanitizer keeps freed memory in quarantine, so the resident
    // memory of a sanitizer build says nothing about the program's own.
    if (kAddressSanitizer)
        GTEST_SKIP() << "resident memory is not the program's under AddressSanitizer";
    const char* asked = std::getenv("VELMORA_SOAK_SECONDS");
    const int seconds = asked ? std::max(std::atoi(asked), 20) : 60;

    const fs::path dir = fs::temp_directory_path() / ("velmora-soak-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "config");
    const fs::path build = VELMORA_BINARY_DIR;
    const fs::path data = VELMORA_TEST_DATA;
    fs::copy_file(build / "velmora", dir / "velmora");
    // The metafiles are drawn by a codec plugin, found beside the program.
    fs::copy(build / "plugins", dir / "plugins", fs::copy_options::recursive);
    const char* pictures[] = { "demo_lake.bmp", "f.jpg", "f.wmf", "clip.emf", "f_gray.jpeg" };
    fs::copy_file(build / "demo_lake.bmp", dir / "demo_lake.bmp");
    fs::copy_file(build / "demo_boat.bmp", dir / "demo_boat.bmp");
    for (const char* name : { "f.jpg", "f.wmf", "clip.emf", "f_gray.jpeg" })
        fs::copy_file(data / "pictures" / name, dir / name);
    std::ostringstream ini;
    ini << "[Setup]\nMultipleMode=True\nNumMultipleImages=5\nMultDelayTime=1\nDelayTimeMS=50\n"
        << "NumberOfReflectedImages=12\nImageResCode=2\nOverlay=True\n"
        << "OverlayFileName=demo_boat.bmp\nOverlayZoomFactor=50\n";
    for (int k = 1; k <= 5; ++k)
        ini << "ImageNumber_0" << k << "=" << pictures[k - 1] << "\n";
    std::ofstream(dir / "velmora.INI") << ini.str();

    X11Session x;
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    Child saver({ (dir / "velmora").string(), "/s" });

    // The first cycle: every picture built once.
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] { return std::chrono::steady_clock::now() - start; };
    const auto cycle = 8s;
    long baseline = 0;
    long last_cycle = 0;
    while (elapsed() < std::chrono::seconds(seconds)) {
        std::this_thread::sleep_for(250ms);
        ASSERT_TRUE(saver.running()) << saver.error_output();
        const long rss = resident_kib(saver.pid());
        if (elapsed() > cycle && elapsed() <= 2 * cycle)
            baseline = std::max(baseline, rss); // the second cycle
        if (elapsed() > std::chrono::seconds(seconds) - cycle)
            last_cycle = std::max(last_cycle, rss);
    }
    ASSERT_GT(baseline, 0);
    EXPECT_LT(last_cycle, baseline + baseline / 20)
        << "KiB resident in the last cycle against " << baseline << " in the second";
    std::cout << "soak: " << seconds << " s, resident " << baseline << " KiB in the second cycle, "
              << last_cycle << " KiB in the last\n";

    // A key still ends it.
    xcb_connection_t* c = x.connection();
    xcb_test_fake_input(c, XCB_KEY_PRESS, 38, XCB_CURRENT_TIME, x.root(), 0, 0, 0);
    xcb_test_fake_input(c, XCB_KEY_RELEASE, 38, XCB_CURRENT_TIME, x.root(), 0, 0, 0);
    xcb_flush(c);
    EXPECT_EQ(saver.wait_for_exit(10s), 0) << saver.error_output();
    fs::remove_all(dir);
}

} // namespace
