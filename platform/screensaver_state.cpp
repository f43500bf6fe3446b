#include "platform/screensaver_state.h"

namespace {
bool g_running = false;
}

void set_screensaver_running(bool running)
{
    g_running = running;
}

bool screensaver_running()
{
    return g_running;
}
