// Metafiles from an untrusted source: their text stays text, their SVG
// reaches nothing outside itself, and a few bytes cannot claim gigabytes.
#include "base/error.h"
#include "picture/codec_plugins.h"
#include "picture/file_checks.h"
#include "picture/qt/metafile_codecs.h"
#include "picture/qt/svg_guard.h"

#include <QImage>
#include <QPainter>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace velmora;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}
void put32(Bytes& out, long long value)
{
    put16(out, static_cast<int>(value & 0xFFFF));
    put16(out, static_cast<int>((value >> 16) & 0xFFFF));
}
void put_text(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}
void set32(Bytes& out, std::size_t at, long long value)
{
    for (int k = 0; k < 4; ++k)
        out[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(value >> (8 * k));
}

// A WMF record: size in words, function, parameter bytes (padded to words).
void wmf_record(Bytes& out, int function, Bytes params)
{
    if (params.size() % 2)
        params.push_back(0);
    put32(out, 3 + static_cast<long long>(params.size() / 2));
    put16(out, function);
    out.insert(out.end(), params.begin(), params.end());
}

// A 64 x 48 pixel WMF (960 x 720 twips) that writes `text` in a 200-twip
// font, after `more` records.
Bytes wmf_with_text(const std::string& text, const Bytes& more = {})
{
    Bytes body;
    wmf_record(body, 0x0103, { 8, 0 }); // META_SETMAPMODE MM_ANISOTROPIC
    wmf_record(body, 0x020B, { 0, 0, 0, 0 }); // META_SETWINDOWORG
    wmf_record(body, 0x020C, { 0xD0, 0x02, 0xC0, 0x03 }); // META_SETWINDOWEXT 720, 960
    Bytes font;
    put16(font, -200); // height
    for (int k = 0; k < 3; ++k)
        put16(font, 0);
    put16(font, 400); // weight
    font.insert(font.end(), 8, 0);
    put_text(font, "Helvetica");
    font.push_back(0);
    wmf_record(body, 0x02FB, font); // META_CREATEFONTINDIRECT
    wmf_record(body, 0x012D, { 0, 0 }); // META_SELECTOBJECT
    body.insert(body.end(), more.begin(), more.end());
    Bytes out;
    put16(out, static_cast<int>(text.size()));
    put_text(out, text);
    if (text.size() % 2)
        out.push_back(0);
    put16(out, 300); // y
    put16(out, 20); // x
    wmf_record(body, 0x0521, out); // META_TEXTOUT
    wmf_record(body, 0x0000, {}); // META_EOF

    Bytes file;
    put32(file, 0x9AC6CDD7); // placeable header: key, handle, box, units per inch
    put16(file, 0);
    for (const int v : { 0, 0, 960, 720, 1440 })
        put16(file, v);
    put32(file, 0);
    int checksum = 0;
    for (std::size_t k = 0; k < file.size(); k += 2)
        checksum ^= file[k] | file[k + 1] << 8;
    put16(file, checksum);
    put16(file, 1); // META_HEADER: memory metafile, 9 words, version 3
    put16(file, 9);
    put16(file, 0x0300);
    put32(file, 9 + static_cast<long long>(body.size() / 2));
    put16(file, 1); // objects
    put32(file, static_cast<long long>(body.size() / 2)); // largest record, at most
    put16(file, 0);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

void emf_record(Bytes& out, int type, const Bytes& payload)
{
    put32(out, type);
    put32(out, 8 + static_cast<long long>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
}

// A 64 x 48 pixel EMF in MM_TEXT whose font is named `face` and which
// writes `text` (as UTF-16 when `wide`, else 8-bit) at (2, 30). `frame`
// (0.01 mm) is the frame the header declares; with `glyph_indices` the
// string holds indices into the font's glyphs.
Bytes emf_with_text(const std::u16string& text, bool wide, const std::u16string& face = u"Sans",
    int frame_w = 1693, int frame_h = 1270, bool glyph_indices = false)
{
    Bytes body;
    Bytes font;
    put32(font, 1); // handle
    put32(font, -20); // height
    for (int k = 0; k < 3; ++k)
        put32(font, 0);
    put32(font, 400);
    font.insert(font.end(), 8, 0);
    for (std::size_t k = 0; k < 32; ++k)
        put16(font, k < face.size() ? face[k] : 0);
    font.resize(332 - 8, 0);
    emf_record(body, 82, font); // EMR_EXTCREATEFONTINDIRECTW
    emf_record(body, 37, { 1, 0, 0, 0 }); // EMR_SELECTOBJECT
    Bytes string;
    for (const char16_t c : text) {
        if (wide)
            put16(string, c);
        else
            string.push_back(static_cast<std::uint8_t>(c));
    }
    while (string.size() % 4)
        string.push_back(0);
    const long long string_at = 8 + 16 + 12 + 40;
    Bytes record;
    for (const int v : { 0, 0, 64, 48 }) // bounds
        put32(record, v);
    put32(record, 1); // graphics mode
    put32(record, 0x3F800000); // x and y scale 1.0f
    put32(record, 0x3F800000);
    put32(record, 2); // reference point
    put32(record, 30);
    put32(record, static_cast<long long>(text.size()));
    put32(record, string_at);
    put32(record, glyph_indices ? 0x10 : 0); // options: ETO_GLYPH_INDEX
    for (int k = 0; k < 4; ++k)
        put32(record, 0);
    put32(record, string_at + static_cast<long long>(string.size())); // spacing
    record.insert(record.end(), string.begin(), string.end());
    for (std::size_t k = 0; k < text.size(); ++k)
        put32(record, 9);
    emf_record(body, wide ? 84 : 83, record); // EMR_EXTTEXTOUTW / A
    emf_record(body, 14, { 0, 0, 0, 0, 16, 0, 0, 0, 20, 0, 0, 0 }); // EMR_EOF

    Bytes header;
    for (const int v : { 0, 0, 63, 47, 0, 0, frame_w, frame_h }) // bounds, frame
        put32(header, v);
    put32(header, 0x464D4520); // " EMF"
    put32(header, 0x10000);
    put32(header, 0); // total size, set below
    put32(header, 4); // records
    put16(header, 2); // handles
    put16(header, 0);
    for (const int v : { 0, 0, 0, 1920, 1080, 508, 286, 0, 0, 0, 508000, 285750 })
        put32(header, v);
    Bytes file;
    emf_record(file, 1, header);
    file.insert(file.end(), body.begin(), body.end());
    set32(file, 48, static_cast<long long>(file.size()));
    return file;
}

struct Ink {
    int dark = 0; // pixels of text
    int red = 0; // pixels an injected shape would paint
};

Ink ink_of(const Bitmap& b)
{
    Ink ink;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const Color c = b.pixel(x, y);
            if (color_red(c) > 200 && color_green(c) < 60 && color_blue(c) < 60)
                ++ink.red;
            else if (color_red(c) < 128 && color_green(c) < 128 && color_blue(c) < 128)
                ++ink.dark;
        }
    return ink;
}

long peak_mib()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

TEST(MetafileText, TextWithMarkupIsDrawnAsText)
{
    const std::string markup = "</text><rect width=\"100%\" height=\"100%\" fill=\"red\"/><text>";
    const std::u16string wide_markup
        = u"]]></text><rect width=\"999\" height=\"999\" fill=\"red\"/><text><![CDATA[";
    const struct {
        const char* what;
        Bytes file;
        bool wmf;
    } cases[] = {
        { "WMF markup", wmf_with_text(markup), true },
        { "WMF & and <", wmf_with_text("Fish & <chips>"), true },
        { "WMF Latin-1 and controls", wmf_with_text("caf\xE9\x01\x7F"), true },
        { "EMF UTF-16 leaving CDATA", emf_with_text(wide_markup, true), false },
        { "EMF 8-bit leaving CDATA", emf_with_text(wide_markup, false), false },
        { "EMF & and < and U+E000", emf_with_text(u"A & <b>\uE000", true), false },
        { "EMF face name leaving its attribute",
            emf_with_text(u"Hi", true, u"A\"/><rect width=\"999\" height=\"999\" fill=\"red"),
            false },
    };
    for (const auto& c : cases) {
        Bitmap b;
        ASSERT_NO_THROW(b = c.wmf ? decode_wmf(c.file) : decode_emf(c.file)) << c.what;
        const Ink ink = ink_of(b);
        EXPECT_EQ(ink.red, 0) << c.what << ": markup became drawing";
        EXPECT_GT(ink.dark, 20) << c.what << ": the text is shown";
    }
}

TEST(MetafileText, TextRunningOutOfItsRecordIsRefused)
{
    // Its characters beyond the record could not be made safe.
    Bytes file = emf_with_text(u"]]><rect/>", true);
    const std::size_t text_record = 108 + 332 + 12; // header, font, selection
    ASSERT_EQ(file[text_record], 84);
    set32(file, text_record + 44, 4000); // characters
    EXPECT_THROW(decode_emf(file), Error);
}

TEST(MetafileText, TextDrawnAfterAMetafileWithTextDoesNotEndTheProgram)
{
    // The saver draws its status line, and the slide show its next
    // metafile, with the same fonts a metafile's text has just used.
    for (int k = 0; k < 3; ++k) {
        // Glyph indices make the converter look the font up in fontconfig.
        EXPECT_NO_THROW(decode_emf(emf_with_text(u"Hi", k != 1, u"Sans", 1693, 1270, true)));
        EXPECT_NO_THROW(decode_wmf(wmf_with_text("Hi")));
        QImage line(200, 30, QImage::Format_RGB32);
        QPainter painter(&line);
        painter.setFont(QFont(k ? "Serif" : "Sans", 12 + k));
        painter.drawText(5, 20, "Building image");
    }
}

TEST(MetafileText, TextDrawnAfterTheMetafilePluginDrewTextDoesNotEndTheProgram)
{
    // The plugin's converter shuts fontconfig down in this program's name.
    const CodecPlugin& metafiles = codec_plugin("metafiles");
    for (int k = 0; k < 2; ++k) {
        EXPECT_NO_THROW(
            metafiles.decode("emf", emf_with_text(u"Hi", true, u"Sans", 1693, 1270, true)));
        EXPECT_NO_THROW(metafiles.decode("wmf", wmf_with_text("Hi")));
        QImage line(200, 30, QImage::Format_RGB32);
        QPainter painter(&line);
        painter.setFont(QFont("Sans", 12 + k));
        painter.drawText(5, 20, "Building image");
    }
}

TEST(MetafileText, HugeFontsAreDrawnAtTheLargestSizeInsteadOfEndingTheProgram)
{
    // Found by fuzzing: a font two million units high made FreeType fail and
    // librsvg abort the whole program.
    Bytes file = emf_with_text(u"Hi", true);
    ASSERT_EQ(file[108], 82); // the font record follows the header
    set32(file, 108 + 12, -2000000);
    EXPECT_NO_THROW(decode_emf(file));
    const std::string svg = guarded_svg("<svg><text font-size=\"2088555.88\" "
                                        "style=\"font-size:-3;fill:black\">a</text></svg>");
    EXPECT_NE(svg.find("font-size=\"1000\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("font-size:0;fill:black"), std::string::npos) << svg;
}

TEST(MetafileText, WhatTransformsEnlargeBeyondAnyPictureIsLeftOut)
{
    // Found by fuzzing: text in a world transform of 10^32 kept the renderer
    // busy for minutes; nested enlargements of a thousand each do the same.
    const struct {
        std::string inner;
        double placement;
        bool kept;
    } cases[] = {
        { "<g transform=\"matrix(3e32 4e30 0 1 2 3)\"><text>a</text></g>", 1, false },
        { "<g transform=\"scale(1000)\"><g transform=\"scale(30)\"><text>a</text></g></g>", 1,
            false },
        { "<g transform=\"translate(3e9, 4) rotate(30)\"><text>a</text></g>", 1, true },
        { "<g transform=\"matrix(20 0 0 20 0 0)\"><text>a</text></g>", 40, true },
        { "<g transform=\"matrix(20 0 0 20 0 0)\"><text>a</text></g>", 60, false },
        { "<g transform=\"scale(nan)\"><text>a</text></g>", 1, false },
    };
    for (const auto& c : cases) {
        const std::string svg = guarded_svg("<svg>" + c.inner + "<rect/></svg>", c.placement);
        EXPECT_EQ(svg.find(">a<") != std::string::npos, c.kept) << c.inner << "\n-> " << svg;
        EXPECT_NE(svg.find("<rect"), std::string::npos) << svg;
    }
    // The fuzzer's input: an extension byte, then the file (drawn at once
    // now; before, past any test's time limit).
    std::ifstream in(std::string(VELMORA_SOURCE_DIR)
            + "/tests/fuzz/regressions/picture/emf_text_in_a_world_transform_of_ten_to_the_32",
        std::ios::binary);
    const std::vector<std::uint8_t> file { std::istreambuf_iterator<char>(in), {} };
    ASSERT_GT(file.size(), 1u);
    EXPECT_NO_THROW(decode_emf({ file.begin() + 1, file.end() }));
}

TEST(MetafileText, TheSvgKeepsOnlyDrawingAndNothingOutsideTheDocument)
{
    const std::string head = "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                             "xmlns:xlink=\"http://www.w3.org/1999/xlink\">";
    const struct {
        std::string svg;
        std::string kept; // must be in the result
        std::string dropped; // must not be in the result
    } cases[] = {
        { head + "<image xlink:href=\"/etc/passwd\" width=\"9\"/></svg>", "<image", "passwd" },
        { head
                + "<image href=\"file:///x.png\"/><image "
                  "xlink:href=\"data:image/png;base64,AA\"/></svg>",
            "data:image/png;base64,AA", "file:" },
        { head + "<image xlink:href=\"data:image/svg+xml;base64,AA\"/></svg>", "<image",
            "svg+xml" },
        { head + "<use xlink:href=\"other.svg#a\"/><use xlink:href=\"#a\"/></svg>", "\"#a\"",
            "other.svg" },
        { head + "<rect style=\"fill:url(http://x/y#p)\" fill=\"url(#q)\"/></svg>", "url(#q)",
            "http://x" },
        { head + "<script>alert(1)</script><foreignObject><p>x</p></foreignObject></svg>", "<svg",
            "alert" },
        { head + "<rect onload=\"alert(1)\" width=\"2\"/><?xml-stylesheet href=\"s.css\"?></svg>",
            "width=\"2\"", "s.css" },
        { "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 20001102//EN\" \"http://x/svg.dtd\">" + head
                + "<text>a &amp; b</text></svg>",
            "a &amp; b", "DOCTYPE" },
    };
    for (const auto& c : cases) {
        const std::string out = guarded_svg(c.svg);
        EXPECT_NE(out.find(c.kept), std::string::npos) << c.svg << "\n-> " << out;
        EXPECT_EQ(out.find(c.dropped), std::string::npos) << c.svg << "\n-> " << out;
    }
    for (const std::string& entity : {
             "<!DOCTYPE svg [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + head
                 + "<text>&x;</text></svg>",
             "<!DOCTYPE svg [<!ENTITY x \"red\">]>" + head + "<rect fill=\"&x;\"/></svg>",
             head + "<text>&undeclared;</text></svg>",
             head + "<text>unclosed</svg>",
         })
        EXPECT_THROW(guarded_svg(entity), Error) << entity;
}

TEST(MetafileMemory, TinyFilesCannotClaimHugeDrawings)
{
    // 16384 x 16384 pixels declared in a few hundred bytes: drawn at the
    // bounded size, its shape kept.
    const Bytes huge_frame = emf_with_text(u"Hi", true, u"Sans", 433488, 433488);
    const Bitmap drawn = decode_emf(huge_frame);
    EXPECT_EQ(drawn.width(), kMaxMetafileSide);
    EXPECT_EQ(drawn.height(), kMaxMetafileSide);
    const DrawingSize wide = metafile_drawing_size(20000, 100);
    EXPECT_EQ(wide.width, kMaxMetafileSide);
    EXPECT_EQ(wide.height, 20);
    EXPECT_EQ(metafile_drawing_size(20000, 1).height, 1);

    // A WMF whose largest record is larger than the file, and one whose
    // bitmap claims 100000 x 100000 pixels, are refused before libwmf
    // allocates what they claim.
    Bytes max_record = wmf_with_text("Hi");
    set32(max_record, 22 + 12, 0x7FFFFFFF);
    EXPECT_THROW(decode_wmf(max_record), Error);
    Bytes blit { 0x20, 0x00, 0xCC, 0x00 }; // SRCCOPY, then source and destination
    blit.insert(blit.end(), 16, 0);
    put32(blit, 40); // BITMAPINFOHEADER: size, width, height, planes, bits, compression
    put32(blit, 100000);
    put32(blit, 100000);
    put16(blit, 1);
    put16(blit, 1);
    put32(blit, 0);
    blit.insert(blit.end(), 24, 0);
    Bytes more;
    wmf_record(more, 0x0B41, blit); // META_DIBSTRETCHBLT
    EXPECT_THROW(check_wmf(wmf_with_text("Hi", more)), Error);

    EXPECT_LT(peak_mib(), 512) << "MiB at the peak";
}

TEST(MetafileMemory, EmbeddedBitmapsNeedDataForTheirPixelsAndShareOneBudget)
{
    // Converters expand every embedded bitmap in full each time a record
    // draws it: a few bytes of run-length data declaring millions of
    // pixels, or many such records, would keep the saver busy for seconds.
    struct Case {
        int side, bits, compression;
        std::size_t data_bytes;
        int records;
        bool passes;
    } const cases[] = {
        { 4096, 8, 1, 2, 1, false }, // run-length, only its end code
        { 64, 8, 1, 2, 1, true }, // small: passes whatever its data
        { 512, 8, 1, 1100, 1, true }, // runs of 255 pixels need about this much
        { 1000, 0, 0, 2, 1, false }, // no bits per pixel: data in some other form
        { 1000, 1, 0, 128000, 16, true }, // 16 million pixels with their data
        { 1000, 1, 0, 128000, 17, false }, // beyond the file's budget
    };
    for (const Case& c : cases) {
        Bytes blit { 0x20, 0x00, 0xCC, 0x00 }; // SRCCOPY, then source and destination
        blit.insert(blit.end(), 16, 0);
        put32(blit, 40); // BITMAPINFOHEADER: size, width, height, planes, bits, compression
        put32(blit, c.side);
        put32(blit, c.side);
        put16(blit, 1);
        put16(blit, c.bits);
        put32(blit, c.compression);
        blit.insert(blit.end(), 20 + 4 * (c.bits == 8 ? 256 : 2), 0); // rest, colours
        blit.insert(blit.end(), c.data_bytes, 0);
        if (c.compression == 1)
            blit[blit.size() - 1] = 1; // end of bitmap
        Bytes more;
        for (int k = 0; k < c.records; ++k)
            wmf_record(more, 0x0B41, blit); // META_DIBSTRETCHBLT
        const Bytes file = wmf_with_text("Hi", more);
        if (c.passes)
            EXPECT_NO_THROW(check_wmf(file)) << c.side << " x" << c.records;
        else
            EXPECT_THROW(check_wmf(file), Error) << c.side << " x" << c.records;
    }
}
