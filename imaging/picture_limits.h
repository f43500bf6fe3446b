#pragma once

namespace velmora {

// The largest pictures the decoders accept: no side longer than
// kMaxPictureSide and no more than kMaxPicturePixels pixels (768 MiB at
// 24 bits), so a forged header cannot ask for an absurd allocation.
inline constexpr int kMaxPictureSide = 32767;
inline constexpr long long kMaxPicturePixels = 1LL << 28;
// The largest picture file read into memory.
inline constexpr long long kMaxPictureFileBytes = 1LL << 30;

// Throws velmora::Error when a picture of this size is empty or too large.
void check_picture_size(long long width, long long height);

} // namespace velmora
