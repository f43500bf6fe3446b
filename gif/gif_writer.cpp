#include "gif/gif_writer.h"

#include "gif/gif_error.h"
#include "gif/gif_image.h"
#include "gif/gif_stream.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>
#include <string_view>

namespace velmora {

void TGIFWriter::put_byte(std::uint8_t byte)
{
    block_[fill_++] = byte;
    if (fill_ == sizeof block_) {
        out_.push_back(static_cast<std::uint8_t>(fill_));
        out_.insert(out_.end(), block_, block_ + fill_);
        fill_ = 0;
    }
}

void TGIFWriter::finish()
{
    if (fill_ > 0) {
        out_.push_back(static_cast<std::uint8_t>(fill_));
        out_.insert(out_.end(), block_, block_ + fill_);
        fill_ = 0;
    }
    out_.push_back(0);
}

namespace {

    // Packs codes least significant bit first into bytes.
    class BitPacker {
    public:
        explicit BitPacker(TGIFWriter& writer)
            : writer_(writer)
        {
        }
        void put(int code, int width)
        {
            bits_ |= static_cast<std::uint32_t>(code) << count_;
            count_ += width;
            while (count_ >= 8) {
                writer_.put_byte(static_cast<std::uint8_t>(bits_ & 0xFF));
                bits_ >>= 8;
                count_ -= 8;
            }
        }
        void flush()
        {
            if (count_ > 0)
                writer_.put_byte(static_cast<std::uint8_t>(bits_ & 0xFF));
            bits_ = 0;
            count_ = 0;
        }

    private:
        TGIFWriter& writer_;
        std::uint32_t bits_ = 0;
        int count_ = 0;
    };

    // The smallest m with m(m + 1) >= 2r: how many growing run codes cover r
    // pixels when every run may be one longer than the one before.
    std::int64_t triangle_codes(std::int64_t r)
    {
        std::int64_t m = 0;
        while (m * (m + 1) < 2 * r)
            ++m;
        return m;
    }

    class RunLengthState {
    public:
        RunLengthState(BitPacker& bits, int code_size)
            : bits_(bits)
            , clear_code_(1 << code_size)
            , end_code_(clear_code_ + 1)
            , first_run_code_(clear_code_ + 2)
            , initial_width_(code_size + 1)
            , bump_start_(clear_code_ - 1)
            // Code sizes 2 and 3 clear after 9 codes, before their tables
            // would need a fifth code bit.
            , clear_limit_start_(code_size > 3 ? clear_code_ - 2 : 9)
            , max_codes_(4095 - first_run_code_)
            , width_(initial_width_)
        {
        }

        void clear()
        {
            emit(clear_code_);
            width_ = initial_width_;
            bump_ = bump_start_;
            clear_limit_ = clear_limit_start_;
            codes_ = 0;
            table_length_ = 0;
            just_cleared_ = true;
        }

        void end()
        {
            emit(end_code_);
            bits_.flush();
        }

        // Adds one pixel of the frame (row order).
        void pixel(int value)
        {
            if (run_length_ > 0 && value != pixel_) {
                flush_run(run_length_);
                run_length_ = 0;
            }
            if (value == pixel_) {
                ++run_length_;
            } else {
                pixel_ = value;
                run_length_ = 1;
            }
        }

        void finish()
        {
            if (run_length_ > 0)
                flush_run(run_length_);
            run_length_ = 0;
        }

    private:
        void emit(int code) { bits_.put(code, width_); }

        void plain(int code)
        {
            just_cleared_ = false;
            emit(code);
            ++codes_;
            if (codes_ >= bump_) {
                bump_ += 1 << width_;
                ++width_;
            }
            if (codes_ >= clear_limit_)
                clear();
        }

        // Codes needed for `count` pixels as runs growing 1, 2, ..., k,
        // starting again at 1 after every k codes.
        static std::int64_t cost(std::int64_t count, std::int64_t k)
        {
            const std::int64_t t = k * (k + 1) / 2;
            const std::int64_t r = count % t;
            return k * (count / t) + (r > 0 ? triangle_codes(r) : 0);
        }

        void restore_clear_limit()
        {
            clear_limit_ = clear_limit_start_;
            if (codes_ >= clear_limit_)
                clear();
        }

        void flush_from_clear(std::int64_t count)
        {
            clear_limit_ = max_codes_;
            table_pixel_ = pixel_;
            std::int64_t k = 1;
            while (count > 0) {
                if (k == 1) {
                    table_length_ = 1;
                    plain(pixel_);
                    count -= 1;
                } else if (count >= k) {
                    table_length_ = static_cast<int>(k);
                    plain(first_run_code_ + static_cast<int>(k) - 2);
                    count -= k;
                } else if (count == 1) {
                    ++table_length_;
                    plain(pixel_);
                    break;
                } else {
                    ++table_length_;
                    plain(first_run_code_ + static_cast<int>(count) - 2);
                    break;
                }
                k = codes_ == 0 ? 1 : k + 1;
            }
            restore_clear_limit();
        }

        void flush_clear_or_repeat(std::int64_t count)
        {
            if (1 + cost(count, max_codes_) < count) {
                clear();
                flush_from_clear(count);
            } else {
                for (std::int64_t i = 0; i < count; ++i)
                    plain(pixel_);
            }
        }

        void flush_with_table(std::int64_t count)
        {
            std::int64_t reps = count / table_length_;
            std::int64_t left = count % table_length_;
            std::int64_t extra = left > 0 ? 1 : 0;
            if (codes_ + reps + extra > max_codes_) {
                reps = max_codes_ - codes_;
                left = count - reps * table_length_;
                extra = 1 + cost(left, max_codes_);
            }
            if (1 + cost(count, max_codes_) < reps + extra) {
                clear();
                flush_from_clear(count);
                return;
            }
            clear_limit_ = max_codes_;
            for (std::int64_t i = 0; i < reps; ++i)
                plain(first_run_code_ + table_length_ - 2);
            if (left > 0) {
                if (just_cleared_)
                    flush_from_clear(left);
                else if (left == 1)
                    plain(pixel_);
                else
                    plain(first_run_code_ + static_cast<int>(left) - 2);
            }
            restore_clear_limit();
        }

        void flush_run(std::int64_t count)
        {
            if (count == 1)
                plain(pixel_);
            else if (just_cleared_)
                flush_from_clear(count);
            else if (table_length_ > 1 && table_pixel_ == pixel_)
                flush_with_table(count);
            else
                flush_clear_or_repeat(count);
        }

        BitPacker& bits_;
        const int clear_code_;
        const int end_code_;
        const int first_run_code_; // F: the code for a run of 2 after a clear
        const int initial_width_;
        const int bump_start_;
        const int clear_limit_start_;
        const int max_codes_; // M: codes after a clear before the table is full

        int width_ = 0; // current code width
        int codes_ = 0; // codes since the last clear
        int bump_ = 0; // codes_ at which the width grows next
        int clear_limit_ = 0; // codes_ at which a clear is due
        int table_length_ = 0; // longest run the decoder's table holds
        int table_pixel_ = -1; // the pixel value of those runs
        bool just_cleared_ = false;
        int pixel_ = -1; // the current run's pixel value (none at start)
        std::int64_t run_length_ = 0;
    };

} // namespace

void TRLEEncoder::encode(std::vector<std::uint8_t>& out, const std::uint8_t* pixels,
    std::size_t count, int bit_depth, int color_bound)
{
    const int code_size = std::max(bit_depth, 2);
    out.push_back(static_cast<std::uint8_t>(code_size));
    TGIFWriter writer(out);
    BitPacker bits(writer);
    RunLengthState state(bits, code_size);
    state.clear();
    for (std::size_t i = 0; i < count; ++i) {
        if (pixels[i] >= color_bound)
            throw GIFException("Color not in color table");
        state.pixel(pixels[i]);
    }
    state.finish();
    state.end();
    writer.finish();
}

namespace {

    // The LZW encoder's string table: the code of each string it holds, found
    // by the string's prefix code and last pixel. Open addressing over twice
    // as many slots as there are codes keeps probe runs short, and the whole
    // table (32 KiB) stays in the first-level cache. A slot holds
    // (key + 1) << 12 | code, where key = prefix << 8 | pixel; 0 is a free
    // slot.
    class LZWStringTable {
    public:
        void clear() { slots_.fill(0); }

        // The code of the string `key`, or -1; `slot` is then where it goes.
        int find(std::uint32_t key, std::uint32_t& slot) const
        {
            const std::uint32_t tag = key + 1;
            slot = (key * 2654435761u) >> (32 - kSlotBits);
            for (;;) {
                const std::uint32_t held = slots_[slot];
                if (held == 0)
                    return -1;
                if (held >> kMaxCodeBits == tag)
                    return static_cast<int>(held & (kTableSize - 1));
                slot = (slot + 1) & (kSlots - 1);
            }
        }

        void insert(std::uint32_t slot, std::uint32_t key, int code)
        {
            slots_[slot] = (key + 1) << kMaxCodeBits | static_cast<std::uint32_t>(code);
        }

    private:
        static constexpr int kSlotBits = kMaxCodeBits + 1;
        static constexpr std::uint32_t kSlots = 1u << kSlotBits;
        std::array<std::uint32_t, kSlots> slots_ {};
    };

} // namespace

void TLZWEncoder::encode(std::vector<std::uint8_t>& out, const std::uint8_t* pixels,
    std::size_t count, int bit_depth, int color_bound)
{
    const int code_size = std::max(bit_depth, 2);
    out.push_back(static_cast<std::uint8_t>(code_size));
    TGIFWriter writer(out);
    BitPacker bits(writer);
    const int clear_code = 1 << code_size;
    const int first_free = clear_code + 2;
    int width = code_size + 1;
    int next = first_free; // the code the next new string gets
    const auto table = std::make_unique<LZWStringTable>();

    bits.put(clear_code, width);
    if (count > 0) {
        if (pixels[0] >= color_bound)
            throw GIFException("Color not in color table");
        int prefix = pixels[0]; // the code of the longest string matched so far
        for (std::size_t i = 1; i < count; ++i) {
            const int pixel = pixels[i];
            if (pixel >= color_bound)
                throw GIFException("Color not in color table");
            const auto key = static_cast<std::uint32_t>(prefix << 8 | pixel);
            std::uint32_t slot = 0;
            const int code = table->find(key, slot);
            if (code >= 0) {
                prefix = code;
                continue;
            }
            bits.put(prefix, width);
            if (next < kTableSize) {
                table->insert(slot, key, next++);
                // The decoder adds this entry only when it reads the next
                // code, so it widens its codes one entry later: once the
                // code just given out needs the wider width itself.
                if (next > 1 << width)
                    ++width;
            } else {
                // Every code is given out: start a new table.
                bits.put(clear_code, width);
                table->clear();
                width = code_size + 1;
                next = first_free;
            }
            prefix = pixel;
        }
        bits.put(prefix, width);
        // The decoder adds the entry of the last code before it reads the
        // end code, and widens for it as above.
        if (next == 1 << width && width < kMaxCodeBits)
            ++width;
    }
    bits.put(clear_code + 1, width);
    bits.flush();
    writer.finish();
}

// ---- The file

namespace {

    void put16(std::vector<std::uint8_t>& out, int value)
    {
        out.push_back(static_cast<std::uint8_t>(value & 0xFF));
        out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    }

    bool needs_89a(const TGIFSubImage& frame)
    {
        return frame.color_map().sorted() || !frame.extensions().empty();
    }

} // namespace

std::vector<std::uint8_t> TGIFImage::SaveToMemory() const
{
    if (images_.empty())
        throw GIFException("Unsupported GIF version");
    std::vector<std::uint8_t> out;
    out.reserve(1024);
    const bool v89a = std::any_of(
        images_.begin(), images_.end(), [](const auto& frame) { return needs_89a(*frame); });
    for (const char c : std::string_view(v89a ? "GIF89a" : "GIF87a"))
        out.push_back(static_cast<std::uint8_t>(c));

    // Logical screen descriptor (GIF89a section 18).
    const TGIFGlobalColorMap& global = header_.color_map;
    int resolution = color_bits(global.count()) - 1;
    for (const auto& frame : images_)
        resolution = std::max(resolution, color_bits(frame->color_map().count()) - 1);
    const int depth = bit_depth();
    int packed = ((resolution & 7) << 4) | ((depth - 1) & 7);
    if (global.count() > 0)
        packed |= 0x80 | (global.sorted() ? 0x08 : 0);
    put16(out, header_.width);
    put16(out, header_.height);
    out.push_back(static_cast<std::uint8_t>(packed));
    out.push_back(0); // background colour index
    out.push_back(0); // pixel aspect ratio
    // The size bits announce the largest table of the image; a reader takes
    // the global table to be that large, so it is padded to that size.
    if (global.count() > 0)
        global.write(out, 1 << depth);

    for (const auto& frame : images_) {
        for (const auto& extension : frame->extensions())
            extension->write(out);
        if (frame->empty())
            continue;
        // Image descriptor (GIF89a section 20). The encoder always writes
        // rows in order, so the interlace bit of a frame that was read from
        // an interlaced file is cleared rather than kept.
        const TGIFLocalColorMap& local = frame->color_map();
        out.push_back(TGIFSubImage::kSeparator);
        put16(out, frame->left());
        put16(out, frame->top());
        put16(out, frame->width());
        put16(out, frame->height());
        if (local.count() == 0)
            out.push_back(static_cast<std::uint8_t>(frame->packed() & 0x18));
        else
            out.push_back(static_cast<std::uint8_t>(
                0x80 | (local.sorted() ? 0x20 : 0) | ((color_bits(local.count()) - 1) & 7)));
        if (local.count() > 0)
            local.write(out);
        const int frame_depth = local.count() > 0 ? color_bits(local.count()) : depth;
        const int bound = local.count() > 0 ? local.count() : 1 << depth;
        const auto encode = Compression == kLZW ? TLZWEncoder::encode : TRLEEncoder::encode;
        encode(out, frame->data().data(), frame->data().size(), frame_depth, bound);
    }
    TGIFTrailer::write(out);
    return out;
}

void TGIFImage::SaveToStream(std::ostream& out) const
{
    const auto bytes = SaveToMemory();
    out.write(
        reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void TGIFImage::WriteToFile(const std::string& name) const
{
    const auto bytes = SaveToMemory();
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file)
        throw Error("Unable to write to " + name);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        // A half-written GIF is worse than none: it looks like a picture.
        std::remove(name.c_str());
        throw Error("Unable to write to " + name);
    }
}

} // namespace velmora
