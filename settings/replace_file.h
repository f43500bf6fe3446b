#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Replaces the file `path` (the file it points to, when it is a symbolic
// link) with `bytes` as a whole, the way write_settings replaces the settings
// file: written and synced under a temporary name beside it, then renamed
// over it; an existing file keeps its owner and permissions. A failure
// leaves the file as it was and throws velmora::Error
// "Unable to write to <path>".
void replace_file_contents(const std::string& path, std::string_view bytes);

} // namespace velmora
