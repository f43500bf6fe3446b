#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The SVG our metafile converters write is drawn by a full SVG renderer,
// which would follow links to files and URLs and expand entities. Metafile
// content reaches that SVG (text records, embedded bitmaps), so before it is
// drawn the SVG is parsed and written anew with only what the converters
// produce: the drawing elements and their attributes. Dropped on the way:
// the document type, comments, processing instructions, every element of
// another kind (with its content), event attributes, and every reference
// that does not stay inside the document (an href other than "#id" or an
// embedded "data:image/" picture, a url() other than "url(#id)").
// Font sizes beyond 1000 units are made 1000: no picture needs them, and
// the text renderers fail on them. An element whose transforms, with its
// ancestors' and the drawing's placement (`placement_scale`), enlarge it more
// than a thousand times is left out with its content: nothing of it could
// show in a picture, and drawing it could take minutes. Throws
// velmora::Error when the SVG is not well-formed or declares or uses an
// entity.
std::string guarded_svg(std::string_view svg, double placement_scale = 1);

} // namespace velmora
