// JPEG decoding through the JPEG library. The library itself is not built
// with coverage instrumentation, so the fuzzer sees only our side of it; the
// seeds reach its markers (baseline, progressive, greyscale, CMYK, restart
// intervals) instead.
#include "base/error.h"
#include "picture/jpeg_decoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        velmora::decode_jpeg(data, size);
    } catch (const velmora::Error&) {
    }
    return 0;
}
