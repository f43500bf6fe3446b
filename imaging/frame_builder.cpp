#include "imaging/frame_builder.h"

#include "imaging/make_wave.h"
#include "imaging/rescaler.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace velmora {

namespace {

    // The overlay's wave frames cover 95 % of its reflection's height.
    constexpr long double kOverlayWaveHeight = 0.95L;
    // The overlay's reflection ripples a little faster than the water.
    constexpr long double kOverlayWaveSpeedUp = 5.0L;

    // The picture turned upside down: row 0 is the row just above the water edge.
    Bitmap mirror_of(const Bitmap& picture)
    {
        if (picture.pixel_format() == PixelFormat::pf24bit)
            return flip_reverse_copy(true, false, picture);
        Bitmap converted = picture;
        converted.set_pixel_format(PixelFormat::pf24bit);
        return flip_reverse_copy(true, false, converted);
    }

    // The picture's own strip below the water edge, on a fresh 24-bit bitmap
    // of the reflection area's size.
    Bitmap bottom_copy(const FrameBuildInput& input, int width, int height)
    {
        Bitmap copy(width, height, PixelFormat::pf24bit);
        if (input.bottom)
            draw(copy, 0, 0, *input.bottom);
        return copy;
    }

    class Builder {
    public:
        Builder(const FrameBuildInput& input, FrameStrip& out)
            : in_(input)
            , out_(out)
            , picture_(input.picture ? *input.picture : no_picture_)
            , overlay_(input.overlay)
            , width_(std::max(input.area_width, 0))
            , height_(std::max(input.area_height, 0))
        {
        }

        bool run()
        {
            prepare();
            return build_frames();
        }

        // Everything every frame is made from: the reflection source with
        // the overlay drawn in, brightness applied, the wave's row terms.
        void prepare()
        {
            out_.strip = Bitmap();
            out_.frame = Bitmap();
            out_.built = 0;

            active_ = overlay_.active && overlay_.bitmap;
            reaches_edge_ = active_
                && static_cast<long long>(overlay_.bitmap->height()) + overlay_.y
                        - picture_.height()
                    >= 0;
            make_source();
            make_rows();
        }

        // Builds frame s (0-based) of `count` into out_.frame, after prepare.
        bool build_frame(int s, int count)
        {
            Bitmap& frame = out_.frame;
            frame = Bitmap::for_overwrite(width_, height_);
            if (!build_rows(s, count, frame.bits(), frame.stride()))
                return false;
            if (active_)
                draw_overlay(frame, s, count);
            return true;
        }

    private:
        void make_rows()
        {
            rows_.clear();
            rows_.reserve(static_cast<std::size_t>(height_));
            for (int i = 0; i < height_; ++i)
                rows_.push_back(wave_row(
                    source_.height(), i, in_.wave_shape, in_.wave_speed, kFrameWaveAmplitude));
        }

        bool closing() const { return in_.closing && in_.closing(); }

        void make_source()
        {
            // An overlay wholly above the water edge whose reflection is wanted is
            // mirrored together with the picture, unless the picture's own bottom
            // strip is reflected: then the prepared reflection goes into that
            // strip at the mirrored distance.
            const bool wholly_above = active_ && !reaches_edge_ && overlay_.reflection_on;
            const bool mirrored_with_picture = wholly_above && !in_.use_image_bottom;
            if (mirrored_with_picture)
                draw(picture_, overlay_.x, overlay_.y, *overlay_.bitmap);
            source_
                = in_.use_image_bottom ? bottom_copy(in_, width_, height_) : mirror_of(picture_);
            if (wholly_above && in_.use_image_bottom && overlay_.reflection) {
                Bitmap reflection = *overlay_.reflection;
                reflection.set_transparent(true);
                reflection.set_transparent_color(overlay_.xparent_color);
                draw(source_, overlay_.x,
                    picture_.height() - (overlay_.bitmap->height() + overlay_.y), reflection);
            }
            if (active_ && !mirrored_with_picture)
                draw(picture_, overlay_.x, overlay_.y, *overlay_.bitmap);
            if (in_.brightness != 0)
                adjust_brightness(source_, in_.brightness);
        }

        bool build_frames()
        {
            const int count = in_.frame_count;
            if (count <= 0)
                return true;
            // The room for all frames is taken at once; frame s lands at
            // x = s * width and only `built` frames count. Its pixels are
            // left unset: every frame writes all of its own.
            const long long strip_width = static_cast<long long>(count) * width_;
            if (strip_width > std::numeric_limits<int>::max())
                return false;
            out_.strip = Bitmap::for_overwrite(static_cast<int>(strip_width), height_);
            // Without an overlay a frame is nothing but its rows, so they go
            // straight into the strip; the working frame only gets a copy of
            // the last one at the end. With an overlay the frame is composed
            // in the working frame first and then copied into the strip.
            const std::size_t frame_bytes = static_cast<std::size_t>(width_) * 3;
            for (int s = 0; s < count; ++s) {
                if (closing())
                    return false;
                if (in_.status)
                    in_.status("Building reflection image " + std::to_string(s + 1) + " of "
                        + std::to_string(count) + "...");
                if (active_) {
                    if (!build_frame(s, count))
                        return false;
                    draw(out_.strip, s * width_, 0, out_.frame);
                } else if (!build_rows(s, count,
                               out_.strip.bits() + static_cast<std::size_t>(s) * frame_bytes,
                               out_.strip.stride())) {
                    return false;
                }
                ++out_.built;
            }
            if (!active_) {
                out_.frame = Bitmap::for_overwrite(width_, height_);
                draw_rect(out_.frame, 0, 0, out_.strip, (count - 1) * width_, 0, width_, height_);
            }
            return true;
        }

        // Writes the rows of frame s of `count`: row i at dest + i * stride,
        // width_ pixels each. False when closing.
        bool build_rows(int s, int count, std::uint8_t* dest, int stride)
        {
            const auto frame_bytes = static_cast<std::size_t>(width_) * 3;
            const auto row_bytes = source_.height() == 0
                ? 0
                : static_cast<std::size_t>(std::min(width_, source_.width())) * 3;
            const long double phase = wave_phase(s, count);
            for (int i = 0; i < height_; ++i) {
                if (closing())
                    return false;
                std::uint8_t* row = dest + static_cast<std::size_t>(i) * stride;
                // A source narrower than the area (or none at all) leaves the
                // rest of the row white, as a fresh frame is.
                if (row_bytes < frame_bytes)
                    std::memset(row + row_bytes, 0xFF, frame_bytes - row_bytes);
                if (row_bytes > 0)
                    std::memcpy(row, source_.row(source_row_at(i, phase)), row_bytes);
            }
            return true;
        }

    public:
        // True when every frame is nothing but whole rows of the source: no
        // overlay stands in front and the source is as wide as the area.
        bool frames_are_source_rows() const
        {
            return !active_ && source_.height() > 0 && source_.width() >= width_;
        }

        // The source row shown as row i of frame s of `count`.
        int source_row(int s, int count, int i) const
        {
            return source_row_at(i, wave_phase(s, count));
        }

        const Bitmap& source() const { return source_; }

    private:
        // The source row that row i of a frame of this phase shows. A row the
        // wave moves outside the source stays unshifted. The area can be
        // taller than the source (one row, under a full-height reflection);
        // its rows beyond the source then repeat the source's last row, the
        // one farthest from the water edge, so no row outside the source is
        // ever read and every frame is fully drawn.
        int source_row_at(int i, long double phase) const
        {
            const int source_height = source_.height();
            const int v = wave_offset(rows_[static_cast<std::size_t>(i)], phase);
            const long long shifted = static_cast<long long>(i) + v;
            const long long from = (shifted >= 0 && shifted < source_height) ? shifted : i;
            return static_cast<int>(std::min<long long>(from, source_height - 1));
        }

        void draw_overlay(Bitmap& frame, int s, int count)
        {
            const Bitmap& overlay = *overlay_.bitmap;
            // The part of the overlay below the water edge stands in front of the water.
            draw(frame, overlay_.x, overlay_.y - picture_.height(), overlay);
            if (!(overlay_.reflection_on && reaches_edge_ && overlay_.reflection_fits
                    && overlay_.reflection))
                return;
            // The overlay's own reflection cycles over count - 1 frames, so its last
            // frame repeats its first. A single-frame cycle would have period 0 and
            // no phase at all: it gets period 1 (phase 0) instead.
            const int period = std::max(count - 1, 1);
            std::unique_ptr<Bitmap> wave = make_wave(*overlay_.reflection, s, period,
                kOverlayWaveHeight, overlay_.xparent_color_24,
                overlay_.wave_adjustment + in_.wave_shape, in_.wave_speed + kOverlayWaveSpeedUp);
            if (!wave)
                throw std::bad_alloc();
            wave->set_transparent(true);
            wave->set_transparent_color(overlay_.xparent_color);
            draw(frame, overlay_.x, overlay.height() + overlay_.y - picture_.height(), *wave);
        }

        const FrameBuildInput& in_;
        FrameStrip& out_;
        Bitmap no_picture_;
        Bitmap& picture_;
        const FrameOverlay& overlay_;
        const int width_;
        const int height_;
        bool active_ = false;
        bool reaches_edge_ = false;
        Bitmap source_;
        std::vector<WaveRow> rows_; // the wave's terms of every row of the area
    };

} // namespace

struct FrameSequence::Impl {
    explicit Impl(const FrameBuildInput& input)
        : in(input)
        , builder(in, frames)
    {
    }
    FrameBuildInput in;
    FrameStrip frames;
    Builder builder;
    // When frames are nothing but source rows: the source row of row i of
    // frame k at [(k - 1) * area height + i], worked out once, so showing a
    // frame takes no wave arithmetic. Empty otherwise.
    std::vector<int> source_rows;
};

FrameSequence::FrameSequence() = default;
FrameSequence::~FrameSequence() = default;
FrameSequence::FrameSequence(FrameSequence&&) noexcept = default;
FrameSequence& FrameSequence::operator=(FrameSequence&&) noexcept = default;

bool FrameSequence::prepare(const FrameBuildInput& input)
{
    impl_.reset();
    if (input.closing && input.closing())
        return false;
    try {
        auto impl = std::make_unique<Impl>(input);
        // Frames are made when shown, long after the build: nothing may stop them then.
        impl->in.closing = {};
        impl->in.status = {};
        impl->builder.prepare();
        const int count = std::max(input.frame_count, 0);
        const int height = std::max(input.area_height, 0);
        if (impl->builder.frames_are_source_rows()) {
            impl->source_rows.reserve(static_cast<std::size_t>(count) * height);
            for (int s = 0; s < count; ++s)
                for (int i = 0; i < height; ++i)
                    impl->source_rows.push_back(impl->builder.source_row(s, count, i));
        }
        impl_ = std::move(impl);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int FrameSequence::count() const
{
    return impl_ ? std::max(impl_->in.frame_count, 0) : 0;
}

bool FrameSequence::frame(int k, Bitmap& out) const
{
    if (k < 1 || k > count())
        return false;
    try {
        impl_->builder.build_frame(k - 1, impl_->in.frame_count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    out = std::move(impl_->frames.frame);
    return true;
}

bool FrameSequence::rows(int k, std::vector<const std::uint8_t*>& out) const
{
    if (k < 1 || k > count() || impl_->source_rows.empty())
        return false;
    const auto height = static_cast<std::size_t>(std::max(impl_->in.area_height, 0));
    const Bitmap& source = impl_->builder.source();
    out.resize(height);
    for (std::size_t i = 0; i < height; ++i)
        out[i] = source.row(impl_->source_rows[(static_cast<std::size_t>(k) - 1) * height + i]);
    return true;
}

long long frame_strip_bytes(int area_width, int area_height, int frame_count)
{
    return 3LL * std::max(area_width, 0) * std::max(area_height, 0) * std::max(frame_count, 0);
}

bool frames_per_tick(int area_width, int area_height, int frame_count)
{
    return frame_strip_bytes(area_width, area_height, frame_count) > kMaxFrameStripBytes;
}

bool build_reflection_frames(const FrameBuildInput& input, FrameStrip& out)
{
    if (input.closing && input.closing())
        return false;
    try {
        return Builder(input, out).run();
    } catch (const std::bad_alloc&) {
        // Out of memory: stop here; `built` tells how many frames are usable.
        return false;
    }
}

} // namespace velmora
