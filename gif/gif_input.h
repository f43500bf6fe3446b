#pragma once

#include "gif/gif_error.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora {

// A read position in a GIF held in memory. Every read is bounds-checked:
// reads past the end return -1 or false, never touch memory outside the span.
class GIFInput {
public:
    explicit GIFInput(std::span<const std::uint8_t> bytes)
        : bytes_(bytes)
    {
    }

    std::size_t position() const { return pos_; }
    void seek(std::size_t pos) { pos_ = pos < bytes_.size() ? pos : bytes_.size(); }
    std::size_t remaining() const { return bytes_.size() - pos_; }
    bool at_end() const { return pos_ >= bytes_.size(); }

    // The next byte without consuming it, or -1 at the end.
    int peek() const { return at_end() ? -1 : bytes_[pos_]; }
    // The next byte, or -1 at the end.
    int read_byte() { return at_end() ? -1 : bytes_[pos_++]; }

    // Reads up to `count` bytes into `out`; returns how many were there.
    std::size_t read_some(std::uint8_t* out, std::size_t count)
    {
        const std::size_t n = count < remaining() ? count : remaining();
        for (std::size_t i = 0; i < n; ++i)
            out[i] = bytes_[pos_ + i];
        pos_ += n;
        return n;
    }
    // A fixed-size part of the file: all `count` bytes or the load fails.
    void read_exact(std::uint8_t* out, std::size_t count)
    {
        if (remaining() < count)
            throw GIFException("Premature end of data");
        read_some(out, count);
    }
    // Skips up to `count` bytes; returns how many were there.
    std::size_t skip(std::size_t count)
    {
        const std::size_t n = count < remaining() ? count : remaining();
        pos_ += n;
        return n;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

} // namespace velmora
