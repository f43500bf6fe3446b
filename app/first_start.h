#pragma once

#include <string>

namespace velmora {

// The folder an installed copy keeps its demo scene in (its data folder).
// Empty when there is no demo scene there, as for the build folder, whose
// settings file the build writes itself.
std::string demo_scene_folder();

// The first start of an installed copy: when there is no settings file yet
// (settings_file_name()), writes one naming the demo scene of
// `demo_folder`, whose velmora.INI holds the demo settings with picture
// names relative to that folder. An existing settings file is never
// touched; a folder that cannot be written leaves the defaults. Answers
// whether a file was written.
bool provide_first_settings(const std::string& demo_folder);

} // namespace velmora
