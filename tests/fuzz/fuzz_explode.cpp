// libFuzzer target for explode: the input is a member (see decoder_fuzz.h)
// decoded with explodeMember. Any input must end without a sanitizer report
// or a hang, with one of explode's results, checksum exactly what it wrote,
// and, when the symbols were decoded to the end, write the uncompressed size
// plus at most the overshoot of one last match. A stream that runs on past
// its data stops with error 3 (end of file) instead.
#include "codec/explode.h"
#include "decoder_fuzz.h"

namespace {
constexpr std::uint32_t kLongestMatch = 66 + 255;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    decoder_fuzz::initialize("explode");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    decoder_fuzz::Member m;
    if (!decoder_fuzz::parse(data, size, m)) return 0;
    const auto o =
        decoder_fuzz::decode(data + decoder_fuzz::kHeaderSize, size - decoder_fuzz::kHeaderSize, m,
                             [](zip& z) { return explodeMember(z); });
    DECODER_FUZZ_CHECK(o.result >= 0 && o.result <= 5);
    DECODER_FUZZ_CHECK(o.result != 3); // no allocation fails at these sizes
    DECODER_FUZZ_CHECK(o.window_present);
    // The target has room for the size and more than one match beyond it,
    // so the only error is the one set once fetches past the end of the
    // data run far beyond the few a decoder reads ahead.
    DECODER_FUZZ_CHECK(o.error == 0 || o.error == ZERR_EOF);
    // After an error the checksum also covers the bytes no longer written.
    if (o.error == 0) DECODER_FUZZ_CHECK(o.crc_matches);
    if (o.error == 0 && (o.result == 0 || o.result == 5)) {
        DECODER_FUZZ_CHECK(o.output_count >= m.uncompressed_size);
        DECODER_FUZZ_CHECK(o.output_count < m.uncompressed_size + kLongestMatch);
    }
    return 0;
}
