#include "scene/scene.h"

#include "base/error.h"
#include "base/numbers.h"
#include "imaging/rescaler.h"
#include "picture/picture.h"
#include "scene/setting_ranges.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>

namespace velmora {

namespace {

    constexpr std::array<ViewingSize, 3> kViewingSizes { { { 320, 200 }, { 640, 480 },
        { 800, 600 } } };

    // Round with halves to the even neighbour, kept inside the int range.
    int round_to_int(long double value)
    {
        return static_cast<int>(std::clamp<long long>(round_half_even(value),
            std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    }

    bool blank(const std::string& text)
    {
        return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' '; });
    }

    // Rows of the reflection area under a picture of `rows` rows: the extra
    // part of a row keeps a reflection from coming out shorter than its
    // share (80 % under 100 rows is 81 rows).
    int area_rows(int rows, long double ratio)
    {
        return round_to_int(rows * ratio + 0.6L);
    }

    // The fitted size of a picture of iw x ih whose reflection area takes
    // `ratio` of its height (0: no area shown), or, with a bottom strip of
    // `strip` rows, the strip's height scaled alike.
    struct Fit {
        int width;
        int height;
    };

    Fit fit_picture(int iw, int ih, ViewingSize view, long double ratio, std::optional<int> strip,
        bool fit_screen)
    {
        const int tw = view.width;
        const int th = view.height;
        Fit fit { tw, std::max(1, round_to_int(static_cast<long double>(tw) * ih / iw)) };
        // A very tall, narrow picture would otherwise round to no column at
        // all and show nothing.
        const auto narrow_to_height = [&] {
            fit.width
                = std::clamp(round_to_int(static_cast<long double>(fit.height) / ih * iw), 1, tw);
        };
        if (strip) {
            if (fit.height + round_to_int(static_cast<long double>(tw) * *strip / iw) > th) {
                fit.height = std::max(
                    1, round_to_int(ih * (static_cast<long double>(th) / (ih + *strip))));
                narrow_to_height();
            }
        } else if (round_to_int(fit.height * ratio + fit.height) > th) {
            fit.height = std::max(1, round_to_int(th / (ratio + 1)));
            narrow_to_height();
        }
        if (!fit_screen)
            return fit;
        // Fit Screen's box is the screen itself, so the panel as it is laid
        // out, the area's extra row and the strip's own rounding included,
        // must lie inside it: the rule above may leave it a row or two too
        // tall. The fixed sizes keep the rule as it is, pixel for pixel.
        const auto panel_rows = [&] {
            if (strip) {
                const long double scale = round_to_real48(static_cast<long double>(fit.width) / iw);
                return fit.height + round_to_int(scale * *strip);
            }
            return fit.height + (ratio > 0 ? area_rows(fit.height, ratio) : 0);
        };
        while (fit.height > 1 && panel_rows() > th) {
            --fit.height;
            narrow_to_height();
        }
        return fit;
    }

} // namespace

ViewingSize viewing_size(std::int32_t image_res_code)
{
    const auto index = static_cast<std::size_t>(std::clamp(image_res_code, 0, 2));
    return kViewingSizes[index];
}

ViewingSize viewing_size(std::int32_t image_res_code, int screen_width, int screen_height)
{
    if (image_res_code != kFitScreenResCode)
        return viewing_size(image_res_code);
    // A host window not laid out yet still gets a scene of one pixel.
    return { std::max(1, screen_width), std::max(1, screen_height) };
}

long double round_to_real48(long double value)
{
    if (value == 0 || !std::isfinite(value))
        return value;
    int exponent = 0;
    const long double mantissa = std::frexp(value, &exponent); // 0.5 <= |m| < 1
    return std::ldexp(std::nearbyint(std::ldexp(mantissa, 40)), exponent - 40);
}

bool use_image_bottom_applies(const Settings& s, std::int32_t water_edge)
{
    return water_edge_in_range(water_edge) != 0 && (s.MultipleMode || s.ShiftHorizon);
}

Bitmap load_main_picture(const std::string& file_name)
{
    if (blank(file_name))
        throw Error("No Image selected. Please use \"Configure\" to enter image name.");
    Bitmap picture;
    try {
        picture = load_picture(file_name);
        picture.set_pixel_format(PixelFormat::pf24bit);
    } catch (const std::exception&) {
        // Whatever stops the decoding, a picture too large for the memory
        // left included, the user sees the one loading message and the saver
        // goes on without the picture.
        throw Error("Error loading image \"" + file_name + "\"!");
    }
    if (picture.empty())
        throw Error("Error loading image \"" + file_name + "\"!");
    return picture;
}

std::optional<Scene> assemble_scene(Bitmap picture, std::int32_t water_edge, const Settings& record,
    int screen_width, int screen_height, const SceneHooks& hooks, int status_rows)
{
    const Settings s = within_ranges(record);
    const int edge = water_edge_in_range(water_edge);
    Scene scene;
    scene.reflection_shown = !(s.DisableReflection && s.MultipleMode);
    scene.ReflectionRatio = scene.reflection_shown ? s.ReflectionHeightPercent * 0.01L : 0.0L;
    scene.UseImageBottom = s.UseImageBottom && use_image_bottom_applies(s, edge);
    picture.set_pixel_format(PixelFormat::pf24bit);

    scene.edge_cut = edge > 0 && (s.ShiftHorizon || s.MultipleMode) && scene.reflection_shown;
    if (scene.edge_cut) {
        if (edge >= picture.height())
            throw Error("Water Edge defined too high! No image generated.");
        if (scene.UseImageBottom) {
            // The strip below the edge, cut to the rows nearest the edge.
            scene.area = Bitmap(picture.width(), edge);
            draw_rect(scene.area, 0, 0, picture, 0, picture.height() - edge, picture.width(), edge);
            scene.area.set_height(round_to_int(edge * scene.ReflectionRatio));
        }
        picture.set_height(picture.height() - edge);
    }
    if (hooks.is_closing())
        return std::nullopt;

    hooks.report("Resampling image...");
    const bool bottom_strip = scene.UseImageBottom && scene.edge_cut;
    const bool fit_screen = s.ImageResCode == kFitScreenResCode;
    // Fit Screen leaves the status line its rows and centres the scene above
    // them; a fixed size is centred on the whole screen.
    const int box_height
        = fit_screen ? std::max(1, screen_height - std::max(0, status_rows)) : screen_height;
    const Fit fit = fit_picture(picture.width(), picture.height(),
        viewing_size(s.ImageResCode, screen_width, box_height), scene.ReflectionRatio,
        bottom_strip ? std::optional<int>(scene.area.height()) : std::nullopt, fit_screen);
    scene.ScaleFactor = round_to_real48(static_cast<long double>(fit.width) / picture.width());
    rescale_bitmap(picture, fit.width, fit.height);
    if (bottom_strip)
        rescale_bitmap(
            scene.area, fit.width, round_to_int(scene.ScaleFactor * scene.area.height()));
    scene.picture = std::move(picture);

    if (hooks.is_closing())
        return std::nullopt;
    hooks.report("Adjust image positions on screen...");
    if (!bottom_strip) {
        scene.area.set_size(
            scene.picture.width(), area_rows(scene.picture.height(), scene.ReflectionRatio));
    }
    scene.panel.width = scene.picture.width();
    scene.panel.height
        = scene.picture.height() + (scene.reflection_shown ? scene.area.height() : 0);
    scene.panel.left = round_to_int((screen_width - scene.panel.width) * 0.5L);
    scene.panel.top = round_to_int((box_height - scene.panel.height) * 0.5L);

    scene.WaveShape = s.WaveFactor1 == 0 ? 0.1L : static_cast<long double>(s.WaveFactor1);
    scene.WaveSpeed = s.WaveFactor2;
    return scene;
}

OverlayState prepare_scene_overlay(
    const Settings& record, const Scene& scene, const ScreenProbe& probe, const SceneHooks& hooks)
{
    const OverlayGeometry geometry { scene.ScaleFactor, scene.picture.height(),
        scene.area.height() };
    return overlay_setup(within_ranges(record), geometry, probe, hooks.status);
}

ReflectionScene export_source(const Scene& scene, const FrameStrip& frames, const Settings& record)
{
    ReflectionScene source;
    source.picture = &scene.picture;
    source.frame_strip = &frames.strip;
    source.frames_built = frames.built;
    source.area_width = scene.area.width();
    source.area_height = scene.area.height();
    source.delay_ms = within_ranges(record).DelayTimeMS;
    source.lzw = lzw_gif_export(record);
    return source;
}

FirstPicture first_picture(Settings& record)
{
    FirstPicture first;
    if (record.MultipleMode && record.NumMultipleImages >= 1) {
        if (record.SelectedImageIndex > 0 && record.SelectedImageIndex <= record.NumMultipleImages)
            first.image_index = record.SelectedImageIndex;
        const ImageEntry entry = record.image_entry(first.image_index);
        first.file_name = entry.ImageNumber;
        first.water_edge = entry.ImageShiftNumber;
        record.UseImageBottom = entry.UseImageBottom;
    } else {
        first.file_name = record.ImageFileName;
        first.water_edge = record.ShiftPixels;
    }
    return first;
}

int frame_count(const Settings& record)
{
    return within_ranges(record).NumberOfReflectedImages;
}

FrameBuildInput frame_build_input(
    Scene& scene, const OverlayState& overlay, const Settings& record, const SceneHooks& hooks)
{
    const Settings s = within_ranges(record);
    FrameBuildInput input;
    input.picture = &scene.picture;
    input.bottom = &scene.area;
    input.area_width = scene.area.width();
    input.area_height = scene.area.height();
    input.use_image_bottom = scene.UseImageBottom;
    input.brightness = s.BrightnessLevel;
    input.wave_shape = scene.WaveShape;
    input.wave_speed = scene.WaveSpeed;
    input.frame_count = s.NumberOfReflectedImages;
    FrameOverlay& o = input.overlay;
    o.active = !s.MultipleMode && s.Overlay && !overlay.failed && overlay.bitmap;
    o.bitmap = overlay.bitmap.get();
    o.reflection = overlay.reflection.get();
    o.x = overlay.x;
    o.y = overlay.y;
    o.reflection_fits = overlay.reflection_fits;
    o.reflection_on = s.OverlayReflection;
    o.xparent_color = overlay.xparent_color;
    o.xparent_color_24 = overlay.xparent_color_24;
    o.wave_adjustment = s.OverlayWaveAdjustment;
    input.closing = hooks.closing;
    input.status = hooks.status;
    return input;
}

bool copy_frame(const FrameStrip& frames, int k, Bitmap& area)
{
    if (k < 1 || k > frames.built)
        return false;
    const int w = area.width();
    draw_rect(area, 0, 0, frames.strip, (k - 1) * w, 0, w, area.height());
    return true;
}

bool frame_rows(
    const FrameStrip& frames, int k, const Bitmap& area, std::vector<const std::uint8_t*>& out)
{
    if (k < 1 || k > frames.built || frames.strip.height() < area.height())
        return false;
    const auto offset
        = static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(area.width()) * 3;
    out.resize(static_cast<std::size_t>(std::max(area.height(), 0)));
    for (int i = 0; i < area.height(); ++i)
        out[static_cast<std::size_t>(i)] = frames.strip.row(i) + offset;
    return true;
}

std::optional<BuiltScene> build_scene(const std::string& file_name, std::int32_t water_edge,
    Settings& record, int screen_width, int screen_height, const SceneHooks& hooks,
    const ScreenProbe& probe, int status_rows)
{
    if (!use_image_bottom_applies(record, water_edge))
        record.UseImageBottom = false;
    hooks.report("Loading Main image " + file_name + "...");
    std::optional<Scene> scene = assemble_scene(load_main_picture(file_name), water_edge, record,
        screen_width, screen_height, hooks, status_rows);
    if (!scene)
        return std::nullopt;

    std::optional<BuiltScene> built(BuiltScene { std::move(*scene), {}, {} });
    if (!record.MultipleMode) {
        hooks.report("Building Overlay...");
        built->overlay = prepare_scene_overlay(record, built->scene, probe, hooks);
        if (built->overlay.colors_probed) {
            record.OverlayXparentColor = built->overlay.xparent_color;
            record.Overlay24BitXparentColor = built->overlay.xparent_color_24;
        }
    }
    if (hooks.is_closing())
        return std::nullopt;
    hooks.report("Building reflection images...");
    if (built->scene.reflection_shown) {
        build_reflection_frames(
            frame_build_input(built->scene, built->overlay, record, hooks), built->frames);
    }
    if (hooks.is_closing())
        return std::nullopt;
    return built;
}

} // namespace velmora
