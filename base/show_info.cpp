#include "base/show_info.h"

#include <cstdio>

namespace velmora {

namespace {

    void print_info(const std::string& text)
    {
        std::fprintf(stderr, "%s\n", text.c_str());
    }

    InfoHandler& handler()
    {
        static InfoHandler current = print_info;
        return current;
    }

} // namespace

void show_info(const std::string& text)
{
    handler()(text);
}

InfoHandler set_info_handler(InfoHandler replacement)
{
    InfoHandler previous = std::move(handler());
    handler() = replacement ? std::move(replacement) : InfoHandler(print_info);
    return previous;
}

} // namespace velmora
