// Speed and memory of the saver's heavy work, each set against a reference
// measured in the same run on the same data, so the ratios stay comparable
// from one machine (or one busy moment) to the next.
//
//   frame build   build_reflection_frames, 800 x 600 area, 12 frames,
//                 against copying the same bytes row by row with memcpy
//   GIF export    build_reflection_gif + SaveToMemory, 320 x 200 scene,
//                 12 frames, against one checksum pass over the composites
//   GIF read      decode_gif on those bytes, against the same checksum pass
//   memory        peak resident size after building the 800 x 600 x 12
//                 scene, against the bytes the frame strip needs

#include "gif/frame_export.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "imaging/bitmap.h"
#include "imaging/frame_builder.h"
#include "settings/read_write_ini.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using velmora::Bitmap;

constexpr int kFrames = 12;
constexpr int kDisplayWidth = 800;
constexpr int kDisplayHeight = 600;
// The GIF scene: picture above, reflection area below, 320 x 200 together.
constexpr int kGifWidth = 320;
constexpr int kGifPictureHeight = 120;
constexpr int kGifAreaHeight = 80;
// Best of this many runs; the references are cheap, so they get more runs
// to find their floor.
constexpr int kRuns = 10;
constexpr int kReferenceRuns = 40;
// A darker reflection, so the brightness pass is part of what is timed.
constexpr int kBrightness = -30;

// Keeps results observable so the compiler cannot drop the work.
volatile std::uint32_t g_sink = 0;

template <class Work> double best_ms(int runs, Work&& work)
{
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took
            = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// A picture with the variety of a photograph: smooth gradients, a wave
// pattern and fine noise, so the palette, the dithering and the GIF encoder
// meet many colours and few long runs.
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
            const int red = x * 255 / width + noise;
            const int green = y * 255 / height + noise / 2;
            const int blue = static_cast<int>(128 + 100 * wave) + noise;
            *p++ = static_cast<std::uint8_t>(std::clamp(blue, 0, 255));
            *p++ = static_cast<std::uint8_t>(std::clamp(green, 0, 255));
            *p++ = static_cast<std::uint8_t>(std::clamp(red, 0, 255));
        }
    }
    return picture;
}

// The frame build the display runs for a scene, wave values as shipped.
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

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "velmora_bench: %s\n", what);
        std::exit(1);
    }
}

void print_line(const char* name, double ms, const char* reference, double reference_ms,
    const std::string& extra = {})
{
    std::printf("%-14s %9.3f ms   %-18s %8.3f ms   ratio %7.2f%s\n", name, ms, reference,
        reference_ms, ms / reference_ms, extra.c_str());
}

// Adler-32 (the checksum of zlib streams): a real per-byte pass whose
// running sums cannot be skipped.
struct Adler32 {
    std::uint32_t a = 1;
    std::uint32_t b = 0;

    void add(const std::uint8_t* data, std::size_t size)
    {
        constexpr std::uint32_t kMod = 65521;
        // 5552 bytes is the most the sums can take before they overflow.
        constexpr std::size_t kBlock = 5552;
        while (size > 0) {
            const std::size_t n = std::min(size, kBlock);
            for (std::size_t i = 0; i < n; ++i) {
                a += data[i];
                b += a;
            }
            a %= kMod;
            b %= kMod;
            data += n;
            size -= n;
        }
    }
    std::uint32_t value() const { return (b << 16) | a; }
};

void bench_frame_build()
{
    Bitmap picture = make_picture(kDisplayWidth, kDisplayHeight, 0x2545F491u);
    // The builder draws the overlay onto the picture; there is none here, so
    // one picture serves every run unchanged.
    const velmora::FrameBuildInput input = build_input(picture, kDisplayWidth, kDisplayHeight);

    velmora::FrameStrip frames;
    const double build_ms = best_ms(kRuns, [&] {
        require(velmora::build_reflection_frames(input, frames), "frame build stopped early");
    });
    require(frames.built == kFrames, "frame build made too few frames");
    g_sink = g_sink + frames.strip.row(kDisplayHeight - 1)[0];

    // The floor of any frame builder: every byte of every frame written once,
    // row by row, into a strip of the same size that already exists.
    Bitmap strip(kDisplayWidth * kFrames, kDisplayHeight);
    const auto row_bytes = static_cast<std::size_t>(kDisplayWidth) * 3;
    const double copy_ms = best_ms(kReferenceRuns, [&] {
        for (int s = 0; s < kFrames; ++s)
            for (int y = 0; y < kDisplayHeight; ++y)
                std::memcpy(strip.row(y) + static_cast<std::size_t>(s) * row_bytes,
                    picture.row(kDisplayHeight - 1 - y), row_bytes);
        g_sink = g_sink + strip.row(0)[0];
    });

    char extra[128];
    std::snprintf(extra, sizeof extra, "   %.3f ms per frame (display wants 12 well under 1000 ms)",
        build_ms / kFrames);
    print_line("frame build", build_ms, "memcpy rows", copy_ms, extra);
}

void bench_gif()
{
    Bitmap picture = make_picture(kGifWidth, kGifPictureHeight, 0x9E3779B9u);
    velmora::FrameStrip frames;
    require(
        velmora::build_reflection_frames(build_input(picture, kGifWidth, kGifAreaHeight), frames),
        "frame build for the GIF scene stopped early");

    velmora::ReflectionScene scene;
    scene.picture = &picture;
    scene.frame_strip = &frames.strip;
    scene.frames_built = frames.built;
    scene.area_width = kGifWidth;
    scene.area_height = kGifAreaHeight;
    scene.delay_ms = velmora::default_settings().DelayTimeMS;

    std::vector<std::uint8_t> bytes;
    const double export_ms
        = best_ms(kRuns, [&] { bytes = velmora::build_reflection_gif(scene)->SaveToMemory(); });

    Bitmap decoded;
    const double read_ms = best_ms(kRuns, [&] { decoded = velmora::decode_gif(bytes); });
    require(decoded.width() == kGifWidth && decoded.height() == kGifPictureHeight + kGifAreaHeight,
        "the exported GIF does not read back at the scene's size");

    // Every pixel of every composite the export works from (the picture with
    // reflection frame k below it), visited once.
    const auto picture_row = static_cast<std::size_t>(kGifWidth) * 3;
    const double checksum_ms = best_ms(kReferenceRuns, [&] {
        Adler32 sum;
        for (int k = 0; k < frames.built; ++k) {
            for (int y = 0; y < kGifPictureHeight; ++y)
                sum.add(picture.row(y), picture_row);
            for (int y = 0; y < kGifAreaHeight; ++y)
                sum.add(
                    frames.strip.row(y) + static_cast<std::size_t>(k) * picture_row, picture_row);
        }
        g_sink = g_sink + sum.value();
    });

    const std::string size = "   " + std::to_string(bytes.size()) + " bytes";
    print_line("GIF export", export_ms, "checksum pass", checksum_ms, size);
    print_line("GIF read", read_ms, "checksum pass", checksum_ms);
}

// VmHWM and VmRSS of this process in bytes.
struct Resident {
    long long peak = 0;
    long long now = 0;
};

Resident read_resident()
{
    Resident r;
    std::ifstream status("/proc/self/status");
    std::string key;
    long long kib = 0;
    while (status >> key) {
        if (key == "VmHWM:" && status >> kib)
            r.peak = kib * 1024;
        else if (key == "VmRSS:" && status >> kib)
            r.now = kib * 1024;
    }
    return r;
}

// Builds the scene in a child process, so the peak belongs to this build
// alone and not to whatever the other measurements left in the heap.
void bench_memory()
{
    int fds[2];
    require(pipe(fds) == 0, "no pipe for the memory measurement");
    const pid_t child = fork();
    require(child >= 0, "no child for the memory measurement");
    if (child == 0) {
        close(fds[0]);
        Resident result[2];
        result[0] = read_resident();
        {
            Bitmap picture = make_picture(kDisplayWidth, kDisplayHeight, 0x2545F491u);
            velmora::FrameStrip frames;
            const bool ok = velmora::build_reflection_frames(
                build_input(picture, kDisplayWidth, kDisplayHeight), frames);
            result[1] = read_resident();
            if (!ok || frames.built != kFrames)
                _exit(2);
        }
        const bool sent = write(fds[1], result, sizeof result) == sizeof result;
        _exit(sent ? 0 : 3);
    }
    close(fds[1]);
    Resident result[2];
    const bool got = read(fds[0], result, sizeof result) == sizeof result;
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    require(got && WIFEXITED(status) && WEXITSTATUS(status) == 0, "the memory measurement failed");

    const double strip_bytes = 1.0 * kDisplayWidth * kDisplayHeight * 3 * kFrames;
    const double mib = 1024.0 * 1024.0;
    const double peak = static_cast<double>(result[1].peak);
    const double grown = static_cast<double>(result[1].peak - result[0].now);
    std::printf("%-14s %9.2f MiB  strip needs %8.2f MiB   ratio %7.2f   (%.2f MiB above the "
                "%.2f MiB at start: ratio %.2f)\n",
        "peak resident", peak / mib, strip_bytes / mib, peak / strip_bytes, grown / mib,
        static_cast<double>(result[0].now) / mib, grown / strip_bytes);
}

} // namespace

int main()
{
    std::printf("velmora_bench: best of %d runs (references best of %d)\n", kRuns, kReferenceRuns);
    // First, while this process is still small.
    bench_memory();
    bench_frame_build();
    bench_gif();
    return 0;
}
