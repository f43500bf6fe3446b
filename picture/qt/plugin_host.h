#pragma once

namespace velmora {

// Qt's readers and the metafiles' text need a GUI application object. A
// codec plugin loaded into a program that has none (the render tool, which
// links no Qt) makes one on the offscreen platform, never a display, and
// keeps only Qt's critical and fatal messages, on standard error, so that
// standard error carries the program's own messages. It is never destroyed:
// fontconfig's and the SVG renderers' caches live until the process ends.
// Does nothing when the program has its own application object.
void ensure_gui_application();

} // namespace velmora
