#pragma once

#include <cstdint>

namespace velmora {

// The start-up modes; each process serves exactly one.
enum RunMode : std::uint8_t {
    kChangePassword = 0,
    kPreview = 1,
    kConfigure = 2,
    kRun = 3,
};

// The process-wide start-up mode, decided once from the command line. The
// display reads it to tell a real saver run (password check on exit) from a
// test run out of the configuration dialogs.
inline std::uint8_t run_mode = kRun;

} // namespace velmora
