#include "picture/jpeg_decoder.h"

#include "base/error.h"
#include "picture/picture.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace velmora {

namespace {

    // The library reports a fatal error by calling error_exit, which must not
    // return. Ours records the message code and jumps back to the setjmp of
    // the step that called into the library; the C++ exception is thrown only
    // after that step has returned, so no jump ever crosses a destructor.
    struct ErrorManager {
        jpeg_error_mgr pub; // first member: the library sees a jpeg_error_mgr*
        std::jmp_buf jump;
        int code;
    };

    // Warnings about damaged or missing coded data: the library would go on
    // and fill the rest of the picture with grey; we refuse the picture
    // instead. Other warnings (stray bytes between markers, an unknown JFIF
    // revision) leave the picture intact and are ignored.
    bool damaging_warning(int code)
    {
        return code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE
            || code == JWRN_MUST_RESYNC;
    }

    extern "C" void on_error_exit(j_common_ptr cinfo)
    {
        auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
        errors->code = cinfo->err->msg_code;
        std::longjmp(errors->jump, 1);
    }

    extern "C" void on_emit_message(j_common_ptr cinfo, int level)
    {
        if (level < 0 && damaging_warning(cinfo->err->msg_code))
            on_error_exit(cinfo);
    }

    extern "C" void on_output_message(j_common_ptr)
    {
    }

    // The library steps. Each owns no object with a destructor, so the jump
    // back into it from on_error_exit is safe; each returns false when the
    // library failed (the code is in the error manager).

    bool start(jpeg_decompress_struct* cinfo, ErrorManager* errors, const unsigned char* data,
        unsigned long size)
    {
        if (setjmp(errors->jump))
            return false;
        jpeg_mem_src(cinfo, data, size);
        jpeg_read_header(cinfo, TRUE);
        // Colour pictures come out as blue, green, red rows straight away;
        // CMYK cannot be converted by the library and is converted by us.
        const bool cmyk
            = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
        cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
        jpeg_calc_output_dimensions(cinfo);
        return true;
    }

    bool begin_output(jpeg_decompress_struct* cinfo, ErrorManager* errors)
    {
        if (setjmp(errors->jump))
            return false;
        jpeg_start_decompress(cinfo);
        return true;
    }

    // Whether the coded data of a single-scan picture has ended while rows of
    // it are still to come. The Huffman decoder warns when that happens; the
    // arithmetic decoder quietly decodes zeros instead, so a few hundred
    // bytes could fill a picture of hundreds of megapixels with nothing. The
    // end of the data has been reached when the decoder stopped at the end
    // marker before the last row of blocks.
    bool data_ended(jpeg_decompress_struct* cinfo)
    {
        constexpr int kEndOfImage = 0xD9;
        return !jpeg_has_multiple_scans(cinfo) && cinfo->unread_marker == kEndOfImage
            && cinfo->input_iMCU_row + 1 < cinfo->total_iMCU_rows;
    }

    bool read_rows(jpeg_decompress_struct* cinfo, ErrorManager* errors, unsigned char* const* rows,
        unsigned int count)
    {
        if (setjmp(errors->jump))
            return false;
        unsigned int done = 0;
        while (done < count) {
            JSAMPROW row = rows[done];
            if (jpeg_read_scanlines(cinfo, &row, 1) != 1 || data_ended(cinfo)) {
                errors->code = JWRN_JPEG_EOF; // no more data: the picture ends early
                return false;
            }
            ++done;
        }
        return true;
    }

    bool finish(jpeg_decompress_struct* cinfo, ErrorManager* errors)
    {
        if (setjmp(errors->jump))
            return false;
        jpeg_finish_decompress(cinfo);
        return true;
    }

    [[noreturn]] void fail(int code)
    {
        char text[32];
        std::snprintf(text, sizeof text, "JPEG error #%d", code);
        throw Error(text);
    }

    // Pixels a JPEG file may declare per byte of its size.
    constexpr long kMaxPixelsPerByte = 4096;

    // Rows decoded per allocation.
    constexpr int kBandRows = 64;
    // Memory the library may use for buffers spanning the whole picture.
    // Enough for progressive pictures of about 170 megapixels (4:2:0).
    constexpr long kLibraryMemoryBytes = 512L * 1024 * 1024;

    // Owns the decompressor, so it is destroyed on every way out.
    struct Decompressor {
        jpeg_decompress_struct cinfo {};
        ErrorManager errors {};

        Decompressor()
        {
            cinfo.err = jpeg_std_error(&errors.pub);
            errors.pub.error_exit = on_error_exit;
            errors.pub.emit_message = on_emit_message;
            errors.pub.output_message = on_output_message;
            jpeg_create_decompress(&cinfo);
            // The library's own whole-picture buffers (progressive and
            // multi-scan pictures) are bounded too; past this it fails
            // cleanly instead of asking for what a forged header claims.
            cinfo.mem->max_memory_to_use = kLibraryMemoryBytes;
        }
        Decompressor(const Decompressor&) = delete;
        Decompressor& operator=(const Decompressor&) = delete;
        ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    };

    // Adobe's CMYK pictures store the inks inverted (0 = full ink): red is
    // then simply cyan's complement scaled by black's, and so on.
    void cmyk_row_to_bgr(const unsigned char* cmyk, unsigned char* bgr, int width, bool inverted)
    {
        for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
            int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            bgr[0] = static_cast<unsigned char>(y * k / 255);
            bgr[1] = static_cast<unsigned char>(m * k / 255);
            bgr[2] = static_cast<unsigned char>(c * k / 255);
        }
    }

} // namespace

Bitmap decode_jpeg(const std::uint8_t* data, std::size_t size)
{
    Decompressor d;
    if (size > kMaxPictureFileBytes)
        throw Error("The JPEG picture is too large");
    if (!start(&d.cinfo, &d.errors, data, static_cast<unsigned long>(size)))
        fail(d.errors.code);
    check_picture_size(d.cinfo.output_width, d.cinfo.output_height);
    // Huffman coding packs at most 256 pixels into a byte (2 bits for a flat
    // 8 x 8 block); arithmetic coding does better on flat areas, but a file
    // declaring more than kMaxPixelsPerByte pixels per byte describes next
    // to nothing of its picture, whatever the decoder would fill in, and
    // would cost memory and time for that. The library's own code for a
    // picture too large is reported.
    if (static_cast<long double>(d.cinfo.output_width) * d.cinfo.output_height
        > static_cast<long double>(kMaxPixelsPerByte) * static_cast<long double>(size))
        fail(JERR_IMAGE_TOO_BIG);
    if (!begin_output(&d.cinfo, &d.errors))
        fail(d.errors.code);

    const int width = static_cast<int>(d.cinfo.output_width);
    const int height = static_cast<int>(d.cinfo.output_height);
    const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
    const auto row_bytes = static_cast<std::size_t>(width) * (cmyk ? 4 : 3);
    // The header's size is only a claim: a few hundred bytes can declare a
    // picture of hundreds of megabytes and then end. The bitmap is therefore
    // made without clearing it: the system gives its pages memory only as
    // decoded rows reach them, so a damaged file costs memory for the rows it
    // really holds, and a good one is decoded in place, with no second copy.
    Bitmap bitmap = Bitmap::for_overwrite(width, height, PixelFormat::pf24bit);
    const bool inverted = d.cinfo.saw_Adobe_marker != FALSE;
    // CMYK rows are decoded into one band and turned into colours from there.
    std::vector<unsigned char> band(cmyk ? row_bytes * kBandRows : 0);
    std::vector<unsigned char*> rows(kBandRows);
    for (int done = 0; done < height;) {
        const int count = std::min(kBandRows, height - done);
        for (int y = 0; y < count; ++y)
            rows[static_cast<std::size_t>(y)] = cmyk
                ? band.data() + row_bytes * static_cast<std::size_t>(y)
                : bitmap.row(done + y);
        if (!read_rows(&d.cinfo, &d.errors, rows.data(), static_cast<unsigned int>(count)))
            fail(d.errors.code);
        if (cmyk)
            for (int y = 0; y < count; ++y)
                cmyk_row_to_bgr(
                    rows[static_cast<std::size_t>(y)], bitmap.row(done + y), width, inverted);
        done += count;
    }
    if (!finish(&d.cinfo, &d.errors))
        fail(d.errors.code);
    return bitmap;
}

Bitmap load_jpeg_file(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = read_picture_file(path);
    return decode_jpeg(bytes.data(), bytes.size());
}

} // namespace velmora
