#pragma once

#include "gif/gif_error.h"
#include "gif/gif_input.h"
#include "imaging/bitmap.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmora {

class TGIFImage;
class TGIFSubImage;
class TGIFGraphicControlExtension;

// Bits for a colour count: 0 for none, else the smallest b >= 1 with 2^b >= n.
int color_bits(int count);

// A GIF colour table: at most 256 colours (0x00BBGGRR values).
class TGIFColorMap {
public:
    static constexpr int kMaxColors = 256;

    int count() const { return static_cast<int>(colors_.size()); }
    Color operator[](int index) const { return colors_[static_cast<std::size_t>(index)]; }
    const std::vector<Color>& colors() const { return colors_; }

    // Appends a colour and returns its index; a 257th fails with
    // "Color table overflow".
    int add(Color color);
    void assign(const std::vector<Color>& colors);
    void clear();

    // Set only by MergeColorMaps; any change clears it.
    bool sorted() const { return sorted_; }
    void set_sorted(bool sorted) { sorted_ = sorted; }

    // The table as written to a file: entries then black up to 2^bits, or up
    // to `entries` when the file announces a larger table than this one.
    void write(std::vector<std::uint8_t>& out, int entries = 0) const;
    // Reads `count` entries of three bytes (red, green, blue).
    void read(GIFInput& in, int count);

private:
    std::vector<Color> colors_;
    bool sorted_ = false;
};

class TGIFGlobalColorMap : public TGIFColorMap { };
class TGIFLocalColorMap : public TGIFColorMap { };

// Logical screen descriptor and global colour table.
class TGIFHeader {
public:
    int width = 0; // grows as frames are added
    int height = 0;
    std::uint8_t packed = 0; // as read; the writer computes its own
    std::uint8_t background_index = 0;
    std::uint8_t aspect_ratio = 0;
    TGIFGlobalColorMap color_map;
};

class TGIFExtension {
public:
    static constexpr std::uint8_t kIntroducer = 0x21; // '!'

    virtual ~TGIFExtension() = default;
    virtual std::uint8_t label() const = 0;

    // Reads the whole extension, starting at its introducer. A first byte
    // other than '!' fails with "Invalid extension introducer", a label of
    // another kind with "Internal error: Extension Instance does not match
    // Extension Label".
    void read(GIFInput& in, const GIFWarningHandler& warn);
    // Writes the whole extension, introducer and label first.
    void write(std::vector<std::uint8_t>& out) const;

protected:
    virtual void read_body(GIFInput& in, const GIFWarningHandler& warn) = 0;
    virtual void write_body(std::vector<std::uint8_t>& out) const = 0;
};

// GIF89a section 23: disposal, user input, delay and transparent colour.
class TGIFGraphicControlExtension : public TGIFExtension {
public:
    static constexpr std::uint8_t kLabel = 0xF9;

    // Becomes the frame's controlling extension when the frame has none.
    explicit TGIFGraphicControlExtension(TGIFSubImage& frame);
    ~TGIFGraphicControlExtension() override;
    TGIFGraphicControlExtension(const TGIFGraphicControlExtension&) = delete;
    TGIFGraphicControlExtension& operator=(const TGIFGraphicControlExtension&) = delete;

    std::uint8_t label() const override { return kLabel; }

    int delay() const { return delay_; }
    void set_delay(int hundredths);
    bool transparent() const { return (packed_ & 0x01) != 0; }
    // Also sets or clears the frame's transparent flag.
    void set_transparent(bool on);
    int transparent_index() const { return transparent_index_; }
    // An index not below the count of the frame's active colour table (when
    // that count is above 0) becomes 0 with the warning "Invalid color index".
    void set_transparent_index(int index);
    int disposal() const { return (packed_ >> 2) & 0x07; }
    bool user_input() const { return (packed_ & 0x02) != 0; }
    std::uint8_t packed() const { return packed_; }

protected:
    void read_body(GIFInput& in, const GIFWarningHandler& warn) override;
    void write_body(std::vector<std::uint8_t>& out) const override;

private:
    TGIFSubImage& frame_;
    std::uint8_t packed_ = 0;
    int delay_ = 0;
    int transparent_index_ = 0;
};

// Comment extension: each data sub-block is one text line.
class TGIFCommentExtension : public TGIFExtension {
public:
    static constexpr std::uint8_t kLabel = 0xFE;
    std::uint8_t label() const override { return kLabel; }
    std::vector<std::string> lines;

protected:
    void read_body(GIFInput& in, const GIFWarningHandler& warn) override;
    void write_body(std::vector<std::uint8_t>& out) const override;
};

// Plain-text extension: the 12 bytes of its text grid, then text lines.
class TGIFTextExtension : public TGIFExtension {
public:
    static constexpr std::uint8_t kLabel = 0x01;
    std::uint8_t label() const override { return kLabel; }
    std::array<std::uint8_t, 12> grid {};
    std::vector<std::string> lines;

protected:
    void read_body(GIFInput& in, const GIFWarningHandler& warn) override;
    void write_body(std::vector<std::uint8_t>& out) const override;
};

// Application extension: an 11-byte identifier, then data sub-blocks.
class TGIFApplicationExtension : public TGIFExtension {
public:
    static constexpr std::uint8_t kLabel = 0xFF;
    std::uint8_t label() const override { return kLabel; }
    std::array<char, 11> identifier {};

protected:
    void read_body(GIFInput& in, const GIFWarningHandler& warn) final;
    void write_body(std::vector<std::uint8_t>& out) const final;
    virtual void read_data(GIFInput& in, const GIFWarningHandler& warn) = 0;
    virtual void write_data(std::vector<std::uint8_t>& out) const = 0;
};

// The looping extension ("NETSCAPE2.0"; "ANIMEXTS1.0" is read the same way).
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    TGIFAppExtNSLoop();
    int loop_count = 0; // 0 = repeat for ever
    std::uint32_t buffer_size = 0; // 0 = not written

protected:
    void read_data(GIFInput& in, const GIFWarningHandler& warn) override;
    void write_data(std::vector<std::uint8_t>& out) const override;
};

// Any other application extension: its sub-blocks are kept as they are.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    std::vector<std::vector<std::uint8_t>> blocks;

protected:
    void read_data(GIFInput& in, const GIFWarningHandler& warn) override;
    void write_data(std::vector<std::uint8_t>& out) const override;
};

// The stream's last byte.
class TGIFTrailer {
public:
    static constexpr std::uint8_t kByte = 0x3B; // ';'
    static void write(std::vector<std::uint8_t>& out) { out.push_back(kByte); }
};

// One frame: image descriptor, local colour table, pixel data (one palette
// index per byte, rows top to bottom) and its extensions.
class TGIFSubImage {
public:
    static constexpr std::uint8_t kSeparator = 0x2C; // ','

    explicit TGIFSubImage(TGIFImage& image);
    ~TGIFSubImage();
    TGIFSubImage(const TGIFSubImage&) = delete;
    TGIFSubImage& operator=(const TGIFSubImage&) = delete;

    TGIFImage& image() const { return image_; }

    int left() const { return left_; }
    int top() const { return top_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Sets position and size; the logical screen grows to hold the frame and
    // the pixel buffer is reallocated, zero-filled, when its size changes.
    // Fails with "GIF image too large" beyond the 16-bit fields or the pixel
    // limit.
    void set_bounds(int left, int top, int width, int height);

    // True once bounds were set: the frame has an image descriptor, not
    // only extensions.
    bool has_image() const { return has_image_; }

    std::uint8_t packed() const { return packed_; }
    void set_packed(std::uint8_t packed) { packed_ = packed; }
    bool interlaced() const { return (packed_ & 0x40) != 0; }

    std::vector<std::uint8_t>& data() { return data_; }
    const std::vector<std::uint8_t>& data() const { return data_; }
    bool empty() const { return data_.empty() || width_ == 0 || height_ == 0; }
    // Fails with "Invalid pixel coordinates" outside the frame.
    int PixelAt(int x, int y) const;

    TGIFLocalColorMap& color_map() { return color_map_; }
    const TGIFLocalColorMap& color_map() const { return color_map_; }
    // The local table when it has entries, else the global one when it has
    // entries, else the (empty) local table.
    const TGIFColorMap& active_color_map() const;

    const std::vector<std::unique_ptr<TGIFExtension>>& extensions() const { return extensions_; }
    TGIFExtension& add_extension(std::unique_ptr<TGIFExtension> extension);

    bool transparent() const { return transparent_; }
    void set_transparent(bool on) { transparent_ = on; }
    // The transparent index of the controlling extension, 0 without one.
    int transparent_index() const;
    TGIFGraphicControlExtension* graphic_control() const { return graphic_control_; }
    void set_graphic_control(TGIFGraphicControlExtension* extension)
    {
        graphic_control_ = extension;
    }

private:
    TGIFImage& image_;
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::uint8_t packed_ = 0;
    bool has_image_ = false;
    std::vector<std::uint8_t> data_;
    TGIFLocalColorMap color_map_;
    bool transparent_ = false;
    TGIFGraphicControlExtension* graphic_control_ = nullptr; // the first one created
    std::vector<std::unique_ptr<TGIFExtension>> extensions_;
};

// Frames larger than this many pixels are refused, so a hostile header
// cannot make the reader ask for gigabytes (65535 x 65535 is ~4 GiB).
constexpr std::int64_t kMaxFramePixels = std::int64_t { 64 } * 1024 * 1024;
// The same limit for the logical screen when a bitmap of its size is made.
constexpr std::int64_t kMaxScreenPixels = kMaxFramePixels;
// All frames of one image together.
constexpr std::int64_t kMaxImagePixels = 4 * kMaxFramePixels;

// An animated GIF in memory: header, frames in display order.
class TGIFImage {
public:
    TGIFImage() = default;
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;

    TGIFHeader& header() { return header_; }
    const TGIFHeader& header() const { return header_; }
    TGIFGlobalColorMap& global_color_map() { return header_.color_map; }
    const TGIFGlobalColorMap& global_color_map() const { return header_.color_map; }

    const std::vector<std::unique_ptr<TGIFSubImage>>& images() const { return images_; }
    TGIFSubImage& frame(int index) const { return *images_.at(static_cast<std::size_t>(index)); }
    int frame_count() const { return static_cast<int>(images_.size()); }
    TGIFSubImage& add_image();
    void Clear();

    // The encoder of the image data: kRunLength, the default, or kLZW for
    // smaller files. Any other value means run-length.
    static constexpr std::uint8_t kRunLength = 1;
    static constexpr std::uint8_t kLZW = 2;
    std::uint8_t Compression = kRunLength;

    // Appends a frame made from an 8-bit palette bitmap (other formats are
    // first reduced to an octree palette of their own) and returns its index.
    int AddFrame(const Bitmap& bitmap);

    // One sorted global table with the colours the frames use; local tables
    // emptied; pixels and transparent indices remapped.
    void MergeColorMaps();

    // The largest of the bits of the global count and of each local count.
    int bit_depth() const;

    // Reading (the whole stream; on failure the position is restored, the
    // image left empty, and the GIFException passed on).
    void LoadFromStream(GIFInput& in);
    void LoadFromMemory(std::span<const std::uint8_t> bytes);

    // Writing: "Unsupported GIF version" without frames.
    std::vector<std::uint8_t> SaveToMemory() const;
    void SaveToStream(std::ostream& out) const;
    // Creates or replaces the file; a failed write removes the partial file
    // and fails with "Unable to write to <name>".
    void WriteToFile(const std::string& name) const;

    void set_warning_handler(GIFWarningHandler handler) { warning_handler_ = std::move(handler); }
    const GIFWarningHandler& warning_handler() const { return warning_handler_; }
    void warning(const std::string& message) const
    {
        if (warning_handler_)
            warning_handler_(message);
    }

private:
    friend class TGIFSubImage;

    TGIFHeader header_;
    std::vector<std::unique_ptr<TGIFSubImage>> images_;
    GIFWarningHandler warning_handler_;
    std::int64_t pixel_total_ = 0; // pixels of all frames, kept under kMaxImagePixels
};

} // namespace velmora
