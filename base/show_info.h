#pragma once

#include <functional>
#include <string>

namespace velmora {

// The shared information box: shows the text with a single OK button and
// returns when it is closed. The core cannot open windows, so the box itself
// is a handler: the Qt layer installs a modal message box, command-line tools
// print the text, and tests record it.
void show_info(const std::string& text);

using InfoHandler = std::function<void(const std::string& text)>;

// Installs a new handler and returns the previous one. An empty handler
// restores the default, which writes the text as one line to standard error.
InfoHandler set_info_handler(InfoHandler handler);

} // namespace velmora
