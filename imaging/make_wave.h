#pragma once

#include "imaging/bitmap.h"

#include <memory>

namespace velmora {

// The water's motion: every row of a reflection takes its pixels from a row a
// few rows above or below, and the offset changes from frame to frame.

// Amplitude of the reflection frames and of make_wave's wave frames.
inline constexpr long double kFrameWaveAmplitude = 1.0L;
inline constexpr long double kMakeWaveAmplitude = 0.625L;

// The phase of frame `frame` of a cycle of `period` frames: frame x 2 pi /
// period in extended precision. A period of 0 has no phase (the result is
// not finite, and wave_offset then gives 0).
long double wave_phase(int frame, int period);

// The signed number of rows by which destination row `row` of a source
// `height` rows high is displaced:
//   t = (H / shape) * (H - i) / (i + 1) + phase
//   v = sin(t) * ((H / shape) * (i + speed)) / H * amplitude
// evaluated left to right in extended precision and truncated toward zero.
// A shape of 0 counts as 0.1. A result that is not finite counts as 0, and
// the offset is bounded so that row + offset never overflows.
int wave_offset(int height, int row, long double shape, long double speed, long double phase,
    long double amplitude);

// The terms of one row's offset that stay the same from frame to frame, so a
// builder of many frames works them out once per row: t = base + phase and
// v = sin t * reach / height * amplitude, each value exactly as wave_offset
// computes it.
struct WaveRow {
    long double base = 0; // (H / shape) * (H - i) / (i + 1)
    long double reach = 0; // (H / shape) * (i + speed)
    long double height = 0; // H
    long double amplitude = 0;
};
WaveRow wave_row(int height, int row, long double shape, long double speed, long double amplitude);

// The offset of a row whose terms are `row` at this phase: the same as
// wave_offset with the values the terms were made from.
int wave_offset(const WaveRow& row, long double phase);

// One wave frame of `source` (only read): a new 24-bit bitmap as wide as the
// source and Round(height_factor x source height) rows high, filled with
// `fill`, whose row i copies source row i + v (v = wave_offset with
// amplitude 0.625 and the phase of frame `frame` of `period`) when that row
// exists, source row i when i + v is negative, and stays `fill` when i + v
// lies below the source. Returns null when the bitmap cannot be allocated.
std::unique_ptr<Bitmap> make_wave(const Bitmap& source, int frame, int period,
    long double height_factor, Color fill, long double shape, long double speed);

// Replaces the bitmap's pixels (and size) by make_wave of itself; its
// transparency settings stay. Throws std::bad_alloc when the wave frame
// cannot be allocated, leaving the bitmap unchanged.
void apply_wave(Bitmap& bitmap, int frame, int period, long double height_factor, Color fill,
    long double shape, long double speed);

} // namespace velmora
