#pragma once

namespace velmora {

// Registers the picture decoders that use the platform's codecs: BMP and ICO
// through Qt's image readers, WMF and EMF through metafile renderers.
// Safe to call more than once.
void register_platform_codecs();

} // namespace velmora
