// Speed of the saver's heavy work, each figure set against the library or
// the floor a developer would otherwise reach for, measured in the same run,
// on the same data, interleaved (ours, reference, ours, reference ...) and
// best of several rounds, so that a busy machine slows both alike.
//
//   velmora_bench figures DATA   in-process figures, one "FIG|..." line each
//   velmora_bench scene FILE     builds the whole scene of FILE at the large
//                                viewing size with 15 frames, as the saver does
//   velmora_bench scaling DATA   scene build and reference decode per size
//
// bench/run drives all three and turns the lines into bench/RESULTS.md.

#include "gif/frame_export.h"
#include "gif/gif_image.h"
#include "imaging/bitmap.h"
#include "imaging/frame_builder.h"
#include "picture/jpeg_decoder.h"
#include "picture/picture.h"
#include "scene/scene.h"
#include "settings/read_write_ini.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gif_lib.h>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <turbojpeg.h>
#include <vector>

namespace {

using velmora::Bitmap;
using Bytes = std::vector<std::uint8_t>;

constexpr int kFrames = 15;
constexpr int kAreaWidth = 800;
constexpr int kAreaHeight = 600;
constexpr int kBrightness = -30; // a darker reflection, so the brightness pass is timed

volatile std::uint32_t g_sink = 0;

void require(bool ok, const std::string& what)
{
    if (!ok) {
        std::fprintf(stderr, "velmora_bench: %s\n", what.c_str());
        std::exit(1);
    }
}

double now_ms()
{
    return std::chrono::duration<double, std::milli>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <class Work> double time_ms(Work&& work)
{
    const double start = now_ms();
    work();
    return now_ms() - start;
}

// Ours and the reference alternately, `rounds` times; the best of each.
struct Pair {
    double ours = std::numeric_limits<double>::infinity();
    double reference = std::numeric_limits<double>::infinity();
};

template <class Ours, class Reference>
Pair interleaved(int rounds, Ours&& ours, Reference&& reference)
{
    Pair best;
    for (int r = 0; r < rounds; ++r) {
        best.ours = std::min(best.ours, time_ms(ours));
        best.reference = std::min(best.reference, time_ms(reference));
    }
    return best;
}

// One figure for bench/run: name, our time, the reference's, its name, the
// target ratio and a note.
void figure(const std::string& name, const Pair& p, const std::string& reference, double target,
    const std::string& note = {})
{
    std::printf("FIG|%s|%.4f|%.4f|%s|%.3f|%s\n", name.c_str(), p.ours, p.reference,
        reference.c_str(), target, note.c_str());
    std::fflush(stdout);
}

Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    require(static_cast<bool>(in), "cannot read " + path);
    Bytes bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    require(static_cast<bool>(in), "cannot read " + path);
    return bytes;
}

// ---------------------------------------------------------------- JPEG

// The reference decoder: libjpeg-turbo's TurboJPEG API straight to BGR
// rows, the layout of our bitmaps.
std::unique_ptr<std::uint8_t[]> turbo_decode(const Bytes& jpeg, int& width, int& height)
{
    tjhandle tj = tjInitDecompress();
    require(tj != nullptr, "tjInitDecompress failed");
    int subsamp = 0, colorspace = 0;
    require(tjDecompressHeader3(tj, jpeg.data(), static_cast<unsigned long>(jpeg.size()), &width,
                &height, &subsamp, &colorspace)
            == 0,
        "tjDecompressHeader3 failed");
    const int pitch = (width * 3 + 3) / 4 * 4;
    // A buffer as a caller of the library would take it: not cleared first.
    std::unique_ptr<std::uint8_t[]> out(
        new std::uint8_t[static_cast<std::size_t>(pitch) * static_cast<std::size_t>(height)]);
    require(tjDecompress2(tj, jpeg.data(), static_cast<unsigned long>(jpeg.size()), out.get(),
                width, pitch, height, TJPF_BGR, 0)
            == 0,
        "tjDecompress2 failed");
    tjDestroy(tj);
    return out;
}

void bench_jpeg(const std::string& data)
{
    const std::string path = data + "/photo_24mp.jpg";
    int w = 0, h = 0;
    const Pair p = interleaved(
        5,
        [&] {
            const Bitmap b = velmora::load_jpeg_file(path);
            g_sink = g_sink + b.row(b.height() - 1)[0];
        },
        [&] {
            const auto bgr = turbo_decode(read_file(path), w, h);
            g_sink = g_sink + bgr[0];
        });
    figure("JPEG load 6000x4000", p, "tjDecompress2 BGR", 1.05);
}

// ---------------------------------------------------------------- frames

Bitmap make_picture(int width, int height, std::uint32_t seed)
{
    Bitmap picture(width, height);
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = picture.row(y);
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int noise = static_cast<int>(state & 0x1F) - 16;
            const double wave = std::sin(x * 0.05) * std::cos(y * 0.07);
            *p++ = static_cast<std::uint8_t>(
                std::clamp(static_cast<int>(128 + 100 * wave) + noise, 0, 255));
            *p++ = static_cast<std::uint8_t>(std::clamp(y * 255 / height + noise / 2, 0, 255));
            *p++ = static_cast<std::uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
        }
    }
    return picture;
}

velmora::FrameBuildInput build_input(Bitmap& picture, int area_width, int area_height)
{
    const velmora::Settings defaults = velmora::default_settings();
    velmora::FrameBuildInput input;
    input.picture = &picture;
    input.area_width = area_width;
    input.area_height = area_height;
    input.brightness = kBrightness;
    input.wave_shape = defaults.WaveFactor1;
    input.wave_speed = defaults.WaveFactor2;
    input.frame_count = kFrames;
    return input;
}

void bench_frames()
{
    Bitmap picture = make_picture(kAreaWidth, kAreaHeight, 0x2545F491u);
    const velmora::FrameBuildInput input = build_input(picture, kAreaWidth, kAreaHeight);
    velmora::FrameStrip frames;
    // The floor: every output byte written once with memcpy, row by row,
    // into a strip of the same size that already exists.
    Bitmap strip(kAreaWidth * kFrames, kAreaHeight);
    const auto row_bytes = static_cast<std::size_t>(kAreaWidth) * 3;
    const Pair build = interleaved(
        40,
        [&] {
            require(velmora::build_reflection_frames(input, frames) && frames.built == kFrames,
                "frame build stopped early");
        },
        [&] {
            for (int s = 0; s < kFrames; ++s)
                for (int y = 0; y < kAreaHeight; ++y)
                    std::memcpy(strip.row(y) + static_cast<std::size_t>(s) * row_bytes,
                        picture.row(kAreaHeight - 1 - y), row_bytes);
            g_sink = g_sink + strip.row(0)[0];
        });
    figure("frame build 800x600 x15", build, "memcpy of the output", 3.0);

    // One animation step: a frame from the strip onto the shown picture.
    Bitmap area(kAreaWidth, kAreaHeight);
    int k = 0;
    constexpr int kSteps = 30;
    const Pair step = interleaved(
        40,
        [&] {
            for (int i = 0; i < kSteps; ++i) {
                k = k % kFrames + 1;
                velmora::copy_frame(frames, k, area);
            }
            g_sink = g_sink + area.row(0)[0];
        },
        [&] {
            for (int i = 0; i < kSteps; ++i) {
                k = k % kFrames + 1;
                const std::size_t x = static_cast<std::size_t>(k - 1) * row_bytes;
                for (int y = 0; y < kAreaHeight; ++y)
                    std::memcpy(area.row(y), frames.strip.row(y) + x, row_bytes);
            }
            g_sink = g_sink + area.row(0)[0];
        });
    figure("animation step 800x600", { step.ours / kSteps, step.reference / kSteps },
        "memcpy of one frame", 2.0);
}

// ---------------------------------------------------------------- GIF

struct MemoryReader {
    const Bytes* bytes;
    std::size_t at = 0;
};

int read_memory(GifFileType* gif, GifByteType* out, int count)
{
    auto* r = static_cast<MemoryReader*>(gif->UserData);
    const std::size_t n
        = std::min<std::size_t>(static_cast<std::size_t>(count), r->bytes->size() - r->at);
    std::memcpy(out, r->bytes->data() + r->at, n);
    r->at += n;
    return static_cast<int>(n);
}

// giflib: the whole file slurped, then the first frame composited onto a
// 24-bit BGR screen (background colour first), as a viewer shows it.
Bytes giflib_first_frame(const Bytes& file, int& local_tables, int& frames)
{
    MemoryReader reader { &file };
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, read_memory, &error);
    require(gif != nullptr, "DGifOpen failed");
    require(DGifSlurp(gif) == GIF_OK, "DGifSlurp failed");
    frames = gif->ImageCount;
    local_tables = 0;
    for (int i = 0; i < gif->ImageCount; ++i)
        local_tables += gif->SavedImages[i].ImageDesc.ColorMap != nullptr;
    const int sw = gif->SWidth, sh = gif->SHeight;
    const int pitch = (sw * 3 + 3) / 4 * 4;
    Bytes screen(static_cast<std::size_t>(pitch) * static_cast<std::size_t>(sh));
    const SavedImage& first = gif->SavedImages[0];
    const ColorMapObject* map
        = first.ImageDesc.ColorMap ? first.ImageDesc.ColorMap : gif->SColorMap;
    if (gif->SColorMap && gif->SBackGroundColor < gif->SColorMap->ColorCount) {
        const GifColorType bg = gif->SColorMap->Colors[gif->SBackGroundColor];
        for (int y = 0; y < sh; ++y) {
            std::uint8_t* p = screen.data() + static_cast<std::size_t>(y) * pitch;
            for (int x = 0; x < sw; ++x, p += 3) {
                p[0] = bg.Blue;
                p[1] = bg.Green;
                p[2] = bg.Red;
            }
        }
    }
    const GifImageDesc& d = first.ImageDesc;
    for (int y = 0; y < d.Height && d.Top + y < sh; ++y) {
        const GifByteType* in = first.RasterBits + static_cast<std::size_t>(y) * d.Width;
        std::uint8_t* p = screen.data() + static_cast<std::size_t>(d.Top + y) * pitch + d.Left * 3;
        for (int x = 0; x < d.Width && d.Left + x < sw; ++x, p += 3) {
            const GifColorType c = map->Colors[in[x] < map->ColorCount ? in[x] : 0];
            p[0] = c.Blue;
            p[1] = c.Green;
            p[2] = c.Red;
        }
    }
    DGifCloseFile(gif, &error);
    return screen;
}

void bench_gif_read(const std::string& data, const std::string& file, const std::string& label)
{
    const std::string path = data + "/" + file;
    int local_tables = 0, frames = 0;
    const Pair p = interleaved(
        5,
        [&] {
            const Bitmap b = velmora::load_picture(path);
            g_sink = g_sink + b.row(0)[0];
        },
        [&] {
            const Bytes screen = giflib_first_frame(read_file(path), local_tables, frames);
            g_sink = g_sink + screen[0];
        });
    figure("GIF read: " + label, p, "DGifSlurp + first frame", 1.0,
        std::to_string(frames) + " frames, " + std::to_string(local_tables) + " local tables");
}

struct MemoryWriter {
    Bytes out;
};

int write_memory(GifFileType* gif, const GifByteType* in, int count)
{
    auto* w = static_cast<MemoryWriter*>(gif->UserData);
    w->out.insert(w->out.end(), in, in + count);
    return count;
}

ColorMapObject* giflib_map(const velmora::TGIFColorMap& map)
{
    if (map.count() == 0)
        return nullptr;
    const int size = 1 << velmora::color_bits(map.count());
    ColorMapObject* object = GifMakeMapObject(size, nullptr);
    for (int i = 0; i < size; ++i) {
        const velmora::Color c = i < map.count() ? map[i] : 0;
        object->Colors[i] = GifColorType { static_cast<GifByteType>(velmora::color_red(c)),
            static_cast<GifByteType>(velmora::color_green(c)),
            static_cast<GifByteType>(velmora::color_blue(c)) };
    }
    return object;
}

// giflib's encoder on the same indexed frames: screen, tables and every
// frame's rows through EGifPutLine.
Bytes giflib_encode(const velmora::TGIFImage& image)
{
    MemoryWriter writer;
    int error = 0;
    GifFileType* gif = EGifOpen(&writer, write_memory, &error);
    require(gif != nullptr, "EGifOpen failed");
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = giflib_map(image.global_color_map());
    require(EGifPutScreenDesc(gif, image.header().width, image.header().height,
                global ? global->BitsPerPixel : 8, image.header().background_index, global)
            == GIF_OK,
        "EGifPutScreenDesc failed");
    for (int f = 0; f < image.frame_count(); ++f) {
        const velmora::TGIFSubImage& frame = image.frame(f);
        if (!frame.has_image())
            continue;
        ColorMapObject* local = giflib_map(frame.color_map());
        require(EGifPutImageDesc(
                    gif, frame.left(), frame.top(), frame.width(), frame.height(), false, local)
                == GIF_OK,
            "EGifPutImageDesc failed");
        for (int y = 0; y < frame.height(); ++y)
            require(EGifPutLine(gif,
                        const_cast<GifPixelType*>(
                            frame.data().data() + static_cast<std::size_t>(y) * frame.width()),
                        frame.width())
                    == GIF_OK,
                "EGifPutLine failed");
        GifFreeMapObject(local);
    }
    GifFreeMapObject(global);
    require(EGifCloseFile(gif, &error) == GIF_OK, "EGifCloseFile failed");
    return std::move(writer.out);
}

void bench_gif_write(const std::string& data, const std::string& file, const std::string& label)
{
    velmora::TGIFImage image;
    image.LoadFromMemory(read_file(data + "/" + file));
    Bytes ours, theirs;
    const Pair p = interleaved(
        5, [&] { ours = image.SaveToMemory(); }, [&] { theirs = giflib_encode(image); });
    char note[160];
    std::snprintf(note, sizeof note, "size %zu vs %zu bytes (%+.1f %%, target <= +2 %%)",
        ours.size(), theirs.size(), 100.0 * (double(ours.size()) / double(theirs.size()) - 1.0));
    figure("GIF write: " + label, p, "EGifPutLine", 1.0, note);
}

// The largest scene a GIF is made of, 15 frames, with its frames built.
struct ExportScene {
    Bitmap picture;
    velmora::FrameStrip frames;
    velmora::ReflectionScene scene;
};

std::unique_ptr<ExportScene> export_scene()
{
    constexpr int w = velmora::kMaxGIFSceneWidth;
    constexpr int h2 = 80;
    constexpr int h1 = velmora::kMaxGIFSceneHeight - h2;
    auto e = std::make_unique<ExportScene>();
    e->picture = make_picture(w, h1, 0x9E3779B9u);
    require(velmora::build_reflection_frames(build_input(e->picture, w, h2), e->frames),
        "frame build for the GIF scene stopped early");
    e->scene.picture = &e->picture;
    e->scene.frame_strip = &e->frames.strip;
    e->scene.frames_built = e->frames.built;
    e->scene.area_width = w;
    e->scene.area_height = h2;
    e->scene.delay_ms = 50;
    return e;
}

// The F12 export: palette, dithering and merging (build_reflection_gif)
// against the encoding (SaveToMemory) of what they made.
void bench_export()
{
    const std::unique_ptr<ExportScene> e = export_scene();
    std::unique_ptr<velmora::TGIFImage> gif;
    Bytes bytes;
    const Pair p = interleaved(
        5, [&] { gif = velmora::build_reflection_gif(e->scene); },
        [&] { bytes = gif->SaveToMemory(); });
    char note[200];
    std::snprintf(note, sizeof note,
        "%dx%d, %d frames: palette+dither+merge %.1f ms, encoding %.1f ms, %zu bytes",
        e->picture.width(), e->picture.height() + e->scene.area_height, e->frames.built, p.ours,
        p.reference, bytes.size());
    figure("F12 export 323x203 x15 (split)", p, "its encoding alone", 0.0, note);
}

// ---------------------------------------------------------------- LZW

// The GIF write rows with the LZW encoder (after) against giflib, which
// always writes LZW; the run-length rows above are the before.
void bench_gif_write_lzw(const std::string& data, const std::string& file, const std::string& label)
{
    velmora::TGIFImage image;
    image.LoadFromMemory(read_file(data + "/" + file));
    const std::size_t run_length = image.SaveToMemory().size();
    image.Compression = velmora::TGIFImage::kLZW;
    Bytes ours, theirs;
    const Pair p = interleaved(
        7, [&] { ours = image.SaveToMemory(); }, [&] { theirs = giflib_encode(image); });
    char note[200];
    std::snprintf(note, sizeof note,
        "size %zu vs %zu bytes (%+.1f %%, target <= +2 %%); run-length before: %zu bytes",
        ours.size(), theirs.size(), 100.0 * (double(ours.size()) / double(theirs.size()) - 1.0),
        run_length);
    figure("GIF write LZW: " + label, p, "EGifPutLine", 1.0, note);
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(
        reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    require(static_cast<bool>(out), "cannot write " + path);
}

// A GIF file read with our reader and written again with LZW (or
// run-length) codes: the process bench/run sets against
// `gifsicle -O0 FILE -o OUT`.
int run_recode(const std::string& codes, const std::string& in, const std::string& out)
{
    velmora::TGIFImage image;
    image.LoadFromMemory(read_file(in));
    image.Compression = codes == "lzw" ? velmora::TGIFImage::kLZW : velmora::TGIFImage::kRunLength;
    write_file(out, image.SaveToMemory());
    return 0;
}

// The F12 export of a photo's scene at the large viewing size, 12 frames,
// without the size limit (as `velmora-render --any-size`), run-length or LZW.
int run_export_file(const std::string& picture, const std::string& out, const std::string& codes)
{
    velmora::Settings record = velmora::default_settings();
    record.ImageFileName = picture;
    record.ImageResCode = 2;
    record.NumberOfReflectedImages = 12;
    record.GIFCompression = codes == "lzw" ? "LZW" : "";
    const std::optional<velmora::BuiltScene> built
        = velmora::build_scene(picture, 0, record, 1920, 1080, {});
    require(built && built->frames.built == 12, "the scene was not built");
    velmora::ReflectionScene scene = velmora::export_source(built->scene, built->frames, record);
    scene.check_size = false;
    write_file(out, velmora::build_reflection_gif(scene)->SaveToMemory());
    return 0;
}

// One encoder alone on the frames of a file, `runs` times, for instruction
// counts under callgrind: lzw, rle or giflib.
int run_write_only(const std::string& encoder, const std::string& path, int runs)
{
    velmora::TGIFImage image;
    image.LoadFromMemory(read_file(path));
    image.Compression
        = encoder == "lzw" ? velmora::TGIFImage::kLZW : velmora::TGIFImage::kRunLength;
    for (int r = 0; r < runs; ++r)
        g_sink
            = g_sink + (encoder == "giflib" ? giflib_encode(image) : image.SaveToMemory()).size();
    return 0;
}

// One side of a figure alone, `runs` times, for instruction counts under
// callgrind: ours (our loader, any picture) or the reference library
// (giflib for .gif, TurboJPEG otherwise).
int run_only(const std::string& side, const std::string& path, int runs)
{
    const bool gif = path.size() > 4 && path.compare(path.size() - 4, 4, ".gif") == 0;
    int a = 0, b = 0;
    for (int r = 0; r < runs; ++r) {
        if (side == "ours")
            g_sink = g_sink + velmora::load_picture(path).row(0)[0];
        else if (gif)
            g_sink = g_sink + giflib_first_frame(read_file(path), a, b)[0];
        else
            g_sink = g_sink + turbo_decode(read_file(path), a, b)[0];
    }
    return 0;
}

// Only the export, `runs` times: what callgrind profiles.
int run_export_only(int runs)
{
    const std::unique_ptr<ExportScene> e = export_scene();
    for (int r = 0; r < runs; ++r)
        g_sink = g_sink + velmora::build_reflection_gif(e->scene)->SaveToMemory().size();
    return 0;
}

// ---------------------------------------------------------------- scene

std::optional<velmora::BuiltScene> scene_of(const std::string& path)
{
    velmora::Settings record = velmora::default_settings();
    record.ImageFileName = path;
    record.ImageResCode = 2; // the large viewing size
    record.NumberOfReflectedImages = kFrames;
    record.Overlay = false;
    record.MultipleMode = false;
    return velmora::build_scene(path, 0, record, 1920, 1080, {});
}

int run_scene(const std::string& path)
{
    const std::optional<velmora::BuiltScene> built = scene_of(path);
    require(built && built->frames.built == kFrames, "the scene was not built");
    std::printf("scene %dx%d + %dx%d, %d frames\n", built->scene.picture.width(),
        built->scene.picture.height(), built->scene.area.width(), built->scene.area.height(),
        built->frames.built);
    return 0;
}

// A hash of every frame byte for several wave settings and area shapes: two
// builds of the program must print the same lines when a speed-up keeps the
// frames as they were.
int run_strip_hashes()
{
    struct Case {
        int width, height, area_height, brightness;
        long double shape, speed;
    };
    const Case cases[] = { { 800, 600, 600, -30, 17, 30 }, { 800, 600, 601, 0, 17, 30 },
        { 640, 400, 200, 25, -17, -30 }, { 500, 333, 267, -30, 0.1L, 100 },
        { 320, 120, 80, 60, 100, -100 }, { 17, 9, 10, 0, 3, 5 } };
    for (const Case& c : cases) {
        Bitmap picture = make_picture(c.width, c.height, 0x51ED270Bu);
        velmora::FrameBuildInput input = build_input(picture, c.width, c.area_height);
        input.brightness = c.brightness;
        input.wave_shape = c.shape;
        input.wave_speed = c.speed;
        velmora::FrameStrip frames;
        require(velmora::build_reflection_frames(input, frames), "frame build stopped early");
        std::uint64_t hash = 1469598103934665603u;
        const auto bytes = static_cast<std::size_t>(frames.strip.width()) * 3;
        for (int y = 0; y < frames.strip.height(); ++y)
            for (std::size_t k = 0; k < bytes; ++k)
                hash = (hash ^ frames.strip.row(y)[k]) * 1099511628211u;
        std::printf("%dx%d area %d brightness %d shape %g speed %g: %016llx\n", c.width, c.height,
            c.area_height, c.brightness, static_cast<double>(c.shape), static_cast<double>(c.speed),
            static_cast<unsigned long long>(hash));
    }
    return 0;
}

// Only the frame build, `runs` times: what callgrind profiles.
int run_build_only(int runs)
{
    Bitmap picture = make_picture(kAreaWidth, kAreaHeight, 0x2545F491u);
    const velmora::FrameBuildInput input = build_input(picture, kAreaWidth, kAreaHeight);
    velmora::FrameStrip frames;
    for (int r = 0; r < runs; ++r)
        require(velmora::build_reflection_frames(input, frames) && frames.built == kFrames,
            "frame build stopped early");
    return 0;
}

int run_scaling(const std::string& data)
{
    for (const int mp : { 1, 2, 4, 8, 12, 16, 20, 24 }) {
        const std::string path = data + "/scale_" + std::to_string(mp) + "mp.jpg";
        int w = 0, h = 0;
        const Pair p = interleaved(
            5,
            [&] {
                const auto built = scene_of(path);
                require(built && built->frames.built == kFrames, "scene failed");
            },
            [&] {
                const auto bgr = turbo_decode(read_file(path), w, h);
                g_sink = g_sink + bgr[0];
            });
        std::printf("SCALE|%.3f|%.4f|%.4f\n", w * double(h) / 1e6, p.ours, p.reference);
        std::fflush(stdout);
    }
    return 0;
}

int run_figures(const std::string& data)
{
    bench_frames();
    bench_jpeg(data);
    bench_gif_read(data, "gif_photo.gif", "4000x2250 photo, 256 colours");
    bench_gif_read(data, "gif_interlaced.gif", "4000x2250 interlaced");
    bench_gif_read(data, "gif_anim100.gif", "100-frame animation");
    bench_gif_read(data, "gif_local.gif", "local colour tables");
    bench_gif_write(data, "gif_photo.gif", "4000x2250 photo");
    bench_gif_write(data, "gif_anim100.gif", "100-frame animation");
    bench_gif_write(data, "gif_local.gif", "local colour tables");
    bench_gif_write_lzw(data, "gif_photo.gif", "4000x2250 photo");
    bench_gif_write_lzw(data, "gif_anim100.gif", "100-frame animation");
    bench_gif_write_lzw(data, "gif_local.gif", "local colour tables");
    bench_export();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 3 && command == "figures")
        return run_figures(argv[2]);
    if (argc == 3 && command == "scene")
        return run_scene(argv[2]);
    if (argc == 3 && command == "scaling")
        return run_scaling(argv[2]);
    if (argc == 5 && command == "only")
        return run_only(argv[2], argv[3], std::atoi(argv[4]));
    if (argc == 3 && command == "export-only")
        return run_export_only(std::atoi(argv[2]));
    if (argc == 2 && command == "strip-hashes")
        return run_strip_hashes();
    if (argc == 3 && command == "build-only")
        return run_build_only(std::atoi(argv[2]));
    if (argc == 5 && command == "recode")
        return run_recode(argv[2], argv[3], argv[4]);
    if (argc == 5 && command == "export")
        return run_export_file(argv[2], argv[3], argv[4]);
    if (argc == 5 && command == "write-only")
        return run_write_only(argv[2], argv[3], std::atoi(argv[4]));
    if (argc == 2 && command == "frames") {
        bench_frames();
        return 0;
    }
    std::fprintf(stderr,
        "usage: velmora_bench figures DATA | scene FILE | scaling DATA | frames | build-only N | "
        "export-only N |\n"
        "       recode lzw|rle GIF OUT | export PICTURE OUT rle|lzw | write-only lzw|rle|giflib "
        "GIF N\n"
        "(bench/run makes DATA and runs them all)\n");
    return 2;
}
