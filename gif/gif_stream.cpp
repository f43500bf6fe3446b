#include "gif/gif_stream.h"

#include <algorithm>

namespace velmora {

std::vector<std::vector<std::uint8_t>> read_sub_blocks(GIFInput& in, const GIFWarningHandler& warn)
{
    std::vector<std::vector<std::uint8_t>> blocks;
    for (;;) {
        const int size = in.read_byte();
        if (size == 0)
            return blocks;
        if (size < 0) {
            warn("Premature end of data");
            return blocks;
        }
        std::vector<std::uint8_t> block(static_cast<std::size_t>(size));
        block.resize(in.read_some(block.data(), block.size()));
        const bool cut = block.size() < static_cast<std::size_t>(size);
        blocks.push_back(std::move(block));
        if (cut) {
            warn("Premature end of data");
            return blocks;
        }
    }
}

void skip_sub_blocks(GIFInput& in, const GIFWarningHandler& warn)
{
    for (;;) {
        const int size = in.read_byte();
        if (size == 0)
            return;
        if (size < 0 || in.skip(static_cast<std::size_t>(size)) < static_cast<std::size_t>(size)) {
            warn("Premature end of data");
            return;
        }
    }
}

void write_sub_blocks(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const std::size_t n = std::min<std::size_t>(size, 255);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data, data + n);
        data += n;
        size -= n;
    }
}

// ---- Codes

TGIFCodeReader::TGIFCodeReader(GIFInput& in, const GIFWarningHandler& warn)
    : in_(in)
    , warn_(warn)
{
}

bool TGIFCodeReader::fill_byte()
{
    while (!end_of_data_ && block_left_ == 0) {
        const int size = in_.read_byte();
        if (size <= 0) {
            // 0 is the frame's terminator; -1 the input ending without one.
            if (size < 0)
                warn_("Premature end of data");
            end_of_data_ = true;
            break;
        }
        if (static_cast<std::size_t>(size) > in_.remaining()) {
            warn_("Premature end of data");
            block_left_ = static_cast<int>(in_.remaining());
            if (block_left_ == 0)
                end_of_data_ = true;
        } else {
            block_left_ = size;
        }
    }
    if (end_of_data_)
        return false;
    bits_ |= static_cast<std::uint32_t>(in_.read_byte()) << bit_count_;
    bit_count_ += 8;
    --block_left_;
    return true;
}

int TGIFCodeReader::read(int width)
{
    while (bit_count_ < width) {
        if (block_left_ > 0) {
            // Within a sub-block (never longer than what is left): no checks.
            bits_ |= static_cast<std::uint32_t>(in_.read_byte()) << bit_count_;
            bit_count_ += 8;
            --block_left_;
            continue;
        }
        if (!fill_byte()) {
            warn_("Decoder bit buffer under-run");
            return -1;
        }
    }
    const int code = static_cast<int>(bits_ & ((1u << width) - 1));
    bits_ >>= width;
    bit_count_ -= width;
    return code;
}

void TGIFCodeReader::skip_rest()
{
    if (end_of_data_)
        return;
    in_.skip(static_cast<std::size_t>(block_left_));
    block_left_ = 0;
    skip_sub_blocks(in_, warn_);
    end_of_data_ = true;
}

// ---- Pixels

namespace {

    // Stores pixels row by row, in the four interlace passes when asked to
    // (GIF89a appendix E: rows 0, 8, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...).
    class PixelSink {
    public:
        explicit PixelSink(const TGIFPixelTarget& target)
            : t_(target)
            , done_(target.width <= 0 || target.height <= 0 || !target.pixels)
        {
        }

        bool done() const { return done_; }

        void put(std::uint8_t value)
        {
            row_[x_] = value;
            if (++x_ < t_.width)
                return;
            x_ = 0;
            if (!t_.interlaced) {
                done_ = ++y_ >= t_.height;
                row_ += t_.width;
                return;
            }
            static constexpr int kStart[4] = { 0, 4, 2, 1 };
            static constexpr int kStep[4] = { 8, 8, 4, 2 };
            y_ += kStep[pass_];
            while (y_ >= t_.height) {
                if (++pass_ == 4) {
                    done_ = true;
                    return;
                }
                y_ = kStart[pass_];
            }
            row_ = t_.pixels + static_cast<std::size_t>(y_) * static_cast<std::size_t>(t_.width);
        }

    private:
        TGIFPixelTarget t_;
        bool done_;
        int x_ = 0;
        int y_ = 0;
        int pass_ = 0;
        std::uint8_t* row_ = t_.pixels; // row y_
    };

    constexpr std::uint16_t kNoCode = 0xFFFF;

    // The LZW decoder's whole state for one frame.
    struct LZWDecoderState {
        int min_code_size = 0; // b: the bits of a plain pixel value
        int clear_code = 0; // 2^b: empties the string table
        int end_code = 0; // 2^b + 1: the end of the frame's data
        int code_width = 0; // bits of the next code, b + 1 .. kMaxCodeBits
        int next_free = 0; // the code the next new table entry gets
        int previous = -1; // the last code decoded since a clear; -1 right after one
        // A table entry is the string of its prefix entry plus its suffix
        // pixel; single pixels have no prefix. Entries above next_free keep
        // whatever they held, as a damaged stream may refer to them.
        std::array<std::uint16_t, kTableSize> prefix {};
        std::array<std::uint8_t, kTableSize> suffix {};
        // One decoded string, last pixel first.
        std::array<std::uint8_t, kTableSize> stack {};

        void clear()
        {
            code_width = min_code_size + 1;
            next_free = clear_code + 2;
            previous = -1;
        }

        // Pushes the string of `code` onto the stack, last pixel first, and
        // returns its length. A chain longer than the table loops.
        int push_string(int code)
        {
            int length = 0;
            for (int c = code;; c = prefix[static_cast<std::size_t>(c)]) {
                if (length >= kTableSize)
                    throw GIFException("Circular decoder table entry");
                stack[static_cast<std::size_t>(length++)] = suffix[static_cast<std::size_t>(c)];
                if (prefix[static_cast<std::size_t>(c)] == kNoCode)
                    return length;
            }
        }
    };

} // namespace

void decode_image_data(GIFInput& in, const TGIFPixelTarget& target, const GIFWarningHandler& warn)
{
    const int b = in.read_byte();
    if (b < 0)
        return;
    if (b > kMaxMinimumCodeSize)
        throw GIFException("Invalid GIF data");

    LZWDecoderState s;
    s.min_code_size = b;
    s.clear_code = 1 << b;
    s.end_code = s.clear_code + 1;
    s.prefix.fill(kNoCode);
    for (int i = 0; i < s.clear_code; ++i)
        s.suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    s.clear(); // as if the data began with a clear code

    TGIFCodeReader codes(in, warn);
    PixelSink out(target);
    int first_pixel = 0; // first pixel of the previous string
    // Every code outputs at least one pixel, so this loop ends after at most
    // one code per pixel plus the clears, which the finite input bounds.
    while (!out.done()) {
        const int code = codes.read(s.code_width);
        if (code < 0 || code == s.end_code)
            break;
        if (code == s.clear_code) {
            s.clear();
            continue;
        }
        if (s.previous < 0) {
            // The first code after a clear is a plain pixel; anything else is
            // damage, and decoding stops there.
            if (code > s.clear_code)
                break;
            out.put(static_cast<std::uint8_t>(code));
            s.previous = code;
            first_pixel = code;
            continue;
        }
        int length;
        bool repeat_first = false;
        if (code < s.next_free) {
            length = s.push_string(code);
        } else {
            // Not yet in the table: the previous string plus its first pixel.
            length = s.push_string(s.previous);
            repeat_first = true;
        }
        first_pixel = s.stack[static_cast<std::size_t>(length - 1)];
        for (int i = length - 1; i >= 0 && !out.done(); --i)
            out.put(s.stack[static_cast<std::size_t>(i)]);
        if (repeat_first && !out.done())
            out.put(static_cast<std::uint8_t>(first_pixel));
        if (s.next_free < kTableSize) {
            s.prefix[static_cast<std::size_t>(s.next_free)]
                = static_cast<std::uint16_t>(s.previous);
            s.suffix[static_cast<std::size_t>(s.next_free)]
                = static_cast<std::uint8_t>(first_pixel);
            ++s.next_free;
            if (s.next_free >= (1 << s.code_width) && s.code_width < kMaxCodeBits)
                ++s.code_width;
        }
        s.previous = code;
    }
    // Whatever stopped the pixels, the frame's remaining sub-blocks are
    // passed over, so the block after the frame is read in step.
    codes.skip_rest();
}

} // namespace velmora
