#pragma once

namespace velmora {

// Makes show_info open a modal information box titled "Velmora" with a single
// OK button, over the active window. The Qt program calls it once at start.
void install_info_box();

} // namespace velmora
