#include "scene/overlay_preview.h"

#include "base/error.h"
#include "base/numbers.h"
#include "imaging/make_wave.h"
#include "imaging/rescaler.h"

#include <algorithm>
#include <limits>

namespace velmora {

namespace {

    // Round with halves to the even neighbour, kept inside the int range.
    int round_to_int(long double value)
    {
        return static_cast<int>(std::clamp<long long>(round_half_even(value),
            std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    }

    // The reflection strip of R rows, before its wave: the picture's own rows
    // below the edge, or the rows just above the edge turned upside down.
    Bitmap reflection_strip(const Bitmap& picture, int edge_row, int rows, bool own_bottom)
    {
        Bitmap strip(picture.width(), rows);
        if (own_bottom) {
            draw_rect(strip, 0, 0, picture, 0, edge_row, picture.width(), rows);
            return strip;
        }
        draw_rect(strip, 0, 0, picture, 0, edge_row - rows, picture.width(), rows);
        return flip_reverse_copy(true, false, strip);
    }

} // namespace

MainPreview build_main_preview(
    const Bitmap& source, const MainPreviewInput& input, int panel_width, int panel_height)
{
    Bitmap picture = source;
    picture.set_pixel_format(PixelFormat::pf24bit);
    const int w = picture.width();
    const int h = picture.height();
    const int s = std::max(input.shift, 0);
    if (s >= h - 1)
        throw Error("Shift-Pixel Amount is too large!");
    // Within the range the saver uses: the strip never reaches beyond the
    // picture.
    const int p = std::clamp(input.reflection_percent, 0, 100);
    const bool own_bottom = input.use_image_bottom && s > 0;

    MainPreview preview;
    const int r = own_bottom ? round_to_int(static_cast<long double>(s * p) * 0.01L)
                             : round_to_int(static_cast<long double>((h - s) * p) * 0.01L);
    preview.reflection_rows = r;
    const int edge_row = h - s;
    Bitmap composite(w, edge_row + r);
    draw_rect(composite, 0, 0, picture, 0, 0, w, edge_row);
    if (r > 0) {
        Bitmap strip = reflection_strip(picture, edge_row, r, own_bottom);
        apply_wave(strip, kPreviewWaveFrame, kPreviewWavePeriod, p * 0.01L, make_color(0, 0, 0),
            kPreviewWaveShape, kPreviewWaveSpeed);
        if (input.brightness != 0)
            adjust_brightness(strip, input.brightness);
        rescale_bitmap(strip, w, r);
        draw(composite, 0, edge_row, strip);
    }

    // Reduce (or enlarge) to the panel with a margin of 5 on each side.
    const int composite_height = composite.height();
    int target_width = panel_width - 10;
    int target_height = round_to_int(
        static_cast<long double>(target_width) / w * static_cast<long double>(composite_height));
    if (panel_height < target_height) {
        target_height = panel_height - 10;
        target_width = round_to_int(static_cast<long double>(w)
            * (static_cast<long double>(target_height) / composite_height));
    }
    // A very tall, narrow picture still shows one column.
    target_width = std::max(target_width, 1);
    target_height = std::max(target_height, 1);
    preview.PreviewScale = static_cast<long double>(composite_height) / target_height;
    rescale_bitmap(composite, target_width, target_height);
    preview.bitmap = std::move(composite);
    preview.top = round_to_int((panel_height - target_height) * 0.5L + 0.5L);
    preview.left = round_to_int((panel_width - target_width) * 0.5L + 0.5L);
    preview.WaterLineY = round_to_int(target_height - r / preview.PreviewScale);
    return preview;
}

std::pair<int, int> overlay_preview_size(
    long double preview_scale, int width, int height, int zoom_percent)
{
    const auto side = [&](int length) {
        if (length <= 0)
            return 0;
        const long double scaled = length / preview_scale * zoom_percent * 0.01L;
        return std::max(round_to_int(scaled), 1);
    };
    return { side(width), side(height) };
}

int overlay_preview_position(long double preview_scale, int offset, int origin)
{
    return round_to_int(offset / preview_scale + origin);
}

int overlay_picture_offset(long double preview_scale, int preview_offset)
{
    return round_to_int(preview_scale * preview_offset);
}

} // namespace velmora
