// Our GIF codec against giflib: every GIF our writer makes decodes in giflib
// to the same pixels, frame after frame; GIFs other encoders made decode in
// our reader to the first frame giflib sees; ImageMagick reads an export
// without a warning.

#include "gif/frame_export.h"
#include "gif/gif_image.h"
#include "gif/gif_reader.h"
#include "gif/gif_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct MemoryStream {
    const Bytes* bytes;
    std::size_t pos = 0;
};

int read_memory(GifFileType* gif, GifByteType* out, int count)
{
    auto* s = static_cast<MemoryStream*>(gif->UserData);
    const std::size_t n
        = std::min<std::size_t>(static_cast<std::size_t>(count), s->bytes->size() - s->pos);
    std::memcpy(out, s->bytes->data() + s->pos, n);
    s->pos += n;
    return static_cast<int>(n);
}

// A canvas of colours (-1 where nothing was drawn yet).
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<Color> pixels;
    Color at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

Color entry(const ColorMapObject* map, int index)
{
    if (!map || index >= map->ColorCount)
        return -2;
    const GifColorType c = map->Colors[index];
    return make_color(c.Red, c.Green, c.Blue);
}

// Every frame of a complete file, composited the way a viewer shows it with
// disposal "leave in place" (the only one our writer uses).
std::vector<Canvas> giflib_frames(const Bytes& bytes)
{
    MemoryStream stream { &bytes };
    int error = 0;
    GifFileType* gif = DGifOpen(&stream, read_memory, &error);
    if (!gif)
        throw std::runtime_error(std::string("giflib cannot open: ") + GifErrorString(error));
    if (DGifSlurp(gif) != GIF_OK) {
        const int e = gif->Error;
        DGifCloseFile(gif, &error);
        throw std::runtime_error(std::string("giflib cannot read: ") + GifErrorString(e));
    }
    std::vector<Canvas> frames;
    Canvas canvas { gif->SWidth, gif->SHeight,
        std::vector<Color>(static_cast<std::size_t>(gif->SWidth * gif->SHeight), -1) };
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        GraphicsControlBlock gcb {};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &gcb);
        EXPECT_LE(gcb.DisposalMode, 1);
        const ColorMapObject* map
            = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        const GifImageDesc& d = image.ImageDesc;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index == gcb.TransparentColor)
                    continue;
                const int cx = d.Left + x;
                const int cy = d.Top + y;
                if (cx < canvas.width && cy < canvas.height)
                    canvas.pixels[static_cast<std::size_t>(cy * canvas.width + cx)]
                        = entry(map, index);
            }
        frames.push_back(canvas);
    }
    DGifCloseFile(gif, &error);
    return frames;
}

// The same from our own model.
std::vector<Canvas> our_frames(const TGIFImage& image)
{
    std::vector<Canvas> frames;
    const int sw = image.header().width;
    const int sh = image.header().height;
    Canvas canvas { sw, sh, std::vector<Color>(static_cast<std::size_t>(sw * sh), -1) };
    for (const auto& frame : image.images()) {
        const TGIFColorMap& map = frame->active_color_map();
        for (int y = 0; y < frame->height(); ++y)
            for (int x = 0; x < frame->width(); ++x) {
                const int index = frame->PixelAt(x, y);
                if (frame->transparent() && index == frame->transparent_index())
                    continue;
                canvas.pixels[static_cast<std::size_t>((frame->top() + y) * sw + frame->left() + x)]
                    = map[index];
            }
        frames.push_back(canvas);
    }
    return frames;
}

void expect_same_frames(const TGIFImage& image)
{
    const Bytes bytes = image.SaveToMemory();
    const auto theirs = giflib_frames(bytes);
    const auto ours = our_frames(image);
    ASSERT_EQ(theirs.size(), ours.size());
    for (std::size_t f = 0; f < ours.size(); ++f) {
        ASSERT_EQ(theirs[f].width, ours[f].width);
        ASSERT_EQ(theirs[f].height, ours[f].height);
        for (int y = 0; y < ours[f].height; ++y)
            for (int x = 0; x < ours[f].width; ++x)
                ASSERT_EQ(theirs[f].at(x, y), ours[f].at(x, y))
                    << "frame " << f << " at " << x << "," << y;
    }
}

Bitmap noise_frame(int w, int h, int colours, std::uint32_t seed, int run)
{
    std::vector<Color> palette;
    for (int i = 0; i < colours; ++i)
        palette.push_back(
            make_color((i * 53 + static_cast<int>(seed)) % 256, (i * 29) % 256, (i * 101) % 256));
    Bitmap b(0, 0, PixelFormat::pf8bit);
    b.set_palette(palette);
    b.set_size(w, h);
    std::uint8_t value = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            if ((seed >> 24) % static_cast<std::uint32_t>(run) == 0)
                value
                    = static_cast<std::uint8_t>((seed >> 8) % static_cast<std::uint32_t>(colours));
            b.row(y)[x] = value;
        }
    return b;
}

ReflectionScene scene_of(const Bitmap& picture, const Bitmap& strip, int frames)
{
    ReflectionScene s;
    s.picture = &picture;
    s.frame_strip = &strip;
    s.frames_built = frames;
    s.area_width = picture.width();
    s.area_height = strip.height();
    s.delay_ms = 60;
    return s;
}

void make_export_scene(Bitmap& picture, Bitmap& strip, int w, int h1, int h2, int frames)
{
    picture = Bitmap(w, h1);
    strip = Bitmap(w * frames, h2);
    for (int y = 0; y < h1; ++y)
        for (int x = 0; x < w; ++x)
            picture.set_pixel(x, y, make_color((x * 3 + y) % 256, (y * 5) % 256, (x * y) % 256));
    for (int f = 0; f < frames; ++f)
        for (int y = 0; y < h2; ++y)
            for (int x = 0; x < w; ++x)
                strip.set_pixel(
                    f * w + x, y, make_color((x * 3 + y + f * 9) % 256, (y * 5) % 128, 200));
}

Bytes read_file(const fs::path& path)
{
    Bytes bytes(fs::file_size(path));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw std::runtime_error("cannot open " + path.string());
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return bytes;
}

// giflib's first frame, row by row with the low-level calls so a file cut
// short still gives the rows it holds. Rows not decoded stay -1.
struct FirstFrame {
    int screen_width = 0;
    int screen_height = 0;
    int left = 0;
    int top = 0;
    Canvas frame;
};

FirstFrame giflib_first_frame(const Bytes& bytes)
{
    MemoryStream stream { &bytes };
    int error = 0;
    GifFileType* gif = DGifOpen(&stream, read_memory, &error);
    if (!gif)
        throw std::runtime_error(std::string("giflib cannot open: ") + GifErrorString(error));
    FirstFrame out;
    out.screen_width = gif->SWidth;
    out.screen_height = gif->SHeight;
    GifRecordType type;
    while (DGifGetRecordType(gif, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) != GIF_OK)
                break;
            while (ext && DGifGetExtensionNext(gif, &ext) == GIF_OK) { }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) != GIF_OK)
            break;
        const GifImageDesc& d = gif->Image;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        out.left = d.Left;
        out.top = d.Top;
        out.frame = Canvas { d.Width, d.Height,
            std::vector<Color>(static_cast<std::size_t>(d.Width * d.Height), -1) };
        std::vector<int> order;
        if (d.Interlace) {
            for (const auto& [start, step] : { std::pair { 0, 8 }, { 4, 8 }, { 2, 4 }, { 1, 2 } })
                for (int y = start; y < d.Height; y += step)
                    order.push_back(y);
        } else {
            for (int y = 0; y < d.Height; ++y)
                order.push_back(y);
        }
        std::vector<GifPixelType> line(static_cast<std::size_t>(d.Width));
        for (const int y : order) {
            if (DGifGetLine(gif, line.data(), d.Width) != GIF_OK)
                break;
            for (int x = 0; x < d.Width; ++x)
                out.frame.pixels[static_cast<std::size_t>(y * d.Width + x)]
                    = entry(map, line[static_cast<std::size_t>(x)]);
        }
        break;
    }
    DGifCloseFile(gif, &error);
    return out;
}

} // namespace

TEST(PeerGiflib, DecodesEveryExportFramePixelForPixel)
{
    Bitmap picture;
    Bitmap strip;
    for (const auto& [w, h1, h2, n] :
        { std::tuple { 64, 40, 20, 5 }, { 323, 150, 53, 3 }, { 17, 1, 9, 2 } }) {
        make_export_scene(picture, strip, w, h1, h2, n);
        const auto gif = build_reflection_gif(scene_of(picture, strip, n));
        expect_same_frames(*gif);
    }
}

TEST(PeerGiflib, DecodesLocalTablesOffsetsAndEveryCodeSize)
{
    TGIFImage image;
    int f = 0;
    for (const int colours : { 1, 2, 3, 5, 16, 17, 100, 256 })
        for (const int run : { 1, 3, 40 }) {
            image.AddFrame(noise_frame(
                31 + f % 7, 17 + f % 5, colours, static_cast<std::uint32_t>(f * 77 + 1), run));
            ++f;
        }
    // Transparency on a few frames, an offset frame inside the screen.
    for (int i = 1; i < image.frame_count(); i += 4) {
        auto control = std::make_unique<TGIFGraphicControlExtension>(image.frame(i));
        control->set_transparent(true);
        control->set_transparent_index(0);
        image.frame(i).add_extension(std::move(control));
    }
    image.frame(5).set_bounds(3, 2, image.frame(5).width(), image.frame(5).height());
    expect_same_frames(image);
    // And after the merge into one global table.
    image.MergeColorMaps();
    expect_same_frames(image);
}

TEST(PeerGiflib, LongFlatAndNoisyFramesDecode)
{
    TGIFImage image;
    Bitmap flat(0, 0, PixelFormat::pf8bit);
    flat.set_palette({ make_color(1, 2, 3), make_color(200, 100, 50) });
    flat.set_size(1000, 800); // one colour: long run codes up to 12 bits
    image.AddFrame(flat);
    image.AddFrame(noise_frame(300, 200, 256, 99, 1)); // clears every 254 codes
    image.AddFrame(noise_frame(300, 200, 256, 7, 300)); // long runs of many colours
    expect_same_frames(image);
}

TEST(PeerGiflib, LZWWorstCasesDecodeToTheirPixelsInBothReaders)
{
    // A row of n pixels that holds exactly n codes.
    auto single_pixel_strings = [](int count) {
        Bitmap b = noise_frame(count, 1, 256, 1, 1);
        const Bytes pixels = test::single_pixel_strings(static_cast<std::size_t>(count));
        std::copy(pixels.begin(), pixels.end(), b.row(0));
        return b;
    };
    const std::vector<std::pair<const char*, Bitmap>> cases {
        // 7.5 million pixels: strings up to 3838 pixels long, then a new table.
        { "one colour", noise_frame(3000, 2500, 1, 1, 1) },
        { "256 colours of noise", noise_frame(300, 200, 256, 99, 1) },
        { "1x1", noise_frame(1, 1, 2, 5, 1) },
        { "37x23, 5 colours", noise_frame(37, 23, 5, 3, 3) },
        { "1013x3, 2 colours", noise_frame(1013, 3, 2, 8, 2) },
        { "long runs of 256 colours", noise_frame(301, 199, 256, 7, 300) },
        // The first table fills with the 3839th code.
        { "3838 codes", single_pixel_strings(3838) },
        { "3839 codes", single_pixel_strings(3839) },
        { "3840 codes", single_pixel_strings(3840) },
        { "4096 codes", single_pixel_strings(4096) },
    };
    for (const auto& [name, bitmap] : cases) {
        SCOPED_TRACE(name);
        TGIFImage image;
        image.AddFrame(bitmap);
        image.Compression = TGIFImage::kLZW;
        expect_same_frames(image);
        TGIFImage back;
        back.LoadFromMemory(image.SaveToMemory());
        ASSERT_EQ(back.frame_count(), 1);
        EXPECT_TRUE(back.frame(0).data() == image.frame(0).data());
    }
}

TEST(PeerGiflib, OurReaderMatchesGiflibOnOtherEncodersFiles)
{
    const fs::path folder = fs::path(VELMORA_TEST_DATA) / "gif" / "peer";
    int checked = 0;
    for (const auto& item : fs::directory_iterator(folder)) {
        if (item.path().extension() != ".gif")
            continue;
        SCOPED_TRACE(item.path().filename().string());
        const Bytes bytes = read_file(item.path());
        FirstFrame theirs;
        ASSERT_NO_THROW(theirs = giflib_first_frame(bytes));
        const Bitmap ours = decode_gif(bytes);
        ASSERT_FALSE(ours.empty());
        EXPECT_EQ(ours.width(), theirs.screen_width);
        EXPECT_EQ(ours.height(), theirs.screen_height);
        int rows = 0;
        for (int y = 0; y < theirs.frame.height; ++y) {
            if (theirs.frame.at(0, y) == -1)
                continue; // giflib did not get this row (file cut short)
            ++rows;
            for (int x = 0; x < theirs.frame.width; ++x)
                ASSERT_EQ(ours.pixel(theirs.left + x, theirs.top + y), theirs.frame.at(x, y))
                    << x << "," << y;
        }
        EXPECT_GT(rows, 0);
        ++checked;
    }
    EXPECT_GE(checked, 12);
}

TEST(PeerImageMagick, IdentifyReadsAnExportWithoutWarnings)
{
    if (std::system("command -v identify > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick is not installed";
    char tmpl[] = "/tmp/velmora-peer-XXXXXX";
    const fs::path dir = ::mkdtemp(tmpl);
    Bitmap picture;
    Bitmap strip;
    make_export_scene(picture, strip, 80, 50, 30, 4);
    const std::string path = save_reflection_gif(scene_of(picture, strip, 4), dir.string());
    const std::string log = (dir / "identify.log").string();
    const int status
        = std::system(("identify -regard-warnings '" + path + "' > '" + log + "' 2>&1").c_str());
    const Bytes text = read_file(log);
    const std::string output(text.begin(), text.end());
    fs::remove_all(dir);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output.find("arning"), std::string::npos) << output;
    // One line per frame.
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 4) << output;
}

TEST(PeerTools, AnLZWExportHasTheRunLengthFramesAndReadsCleanly)
{
    Bitmap picture;
    Bitmap strip;
    make_export_scene(picture, strip, 80, 50, 30, 4);
    ReflectionScene scene = scene_of(picture, strip, 4);
    const Bytes run_length = build_reflection_gif(scene)->SaveToMemory();
    scene.lzw = true;
    const Bytes lzw = build_reflection_gif(scene)->SaveToMemory();
    EXPECT_LT(lzw.size(), run_length.size());
    const auto expected = giflib_frames(run_length);
    const auto frames = giflib_frames(lzw);
    ASSERT_EQ(frames.size(), expected.size());
    for (std::size_t f = 0; f < frames.size(); ++f)
        EXPECT_TRUE(frames[f].pixels == expected[f].pixels) << "frame " << f;

    char tmpl[] = "/tmp/velmora-peer-XXXXXX";
    const fs::path dir = ::mkdtemp(tmpl);
    const fs::path path = dir / "lzw.gif";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(file);
    std::fwrite(lzw.data(), 1, lzw.size(), file);
    std::fclose(file);
    // Each tool decodes every frame; any complaint goes to the log.
    for (const std::string tool : { "identify -regard-warnings", "gifsicle -O0 -o /dev/null" }) {
        const std::string program = tool.substr(0, tool.find(' '));
        if (std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) != 0) {
            ADD_FAILURE() << program << " is not installed";
            continue;
        }
        const fs::path log = dir / (program + ".log");
        const int status = std::system(
            (tool + " '" + path.string() + "' > /dev/null 2> '" + log.string() + "'").c_str());
        const Bytes text = read_file(log);
        EXPECT_EQ(status, 0) << program;
        EXPECT_EQ(std::string(text.begin(), text.end()), "") << program;
    }
    fs::remove_all(dir);
}
