// libFuzzer target for unshrink: the input is a member (see decoder_fuzz.h)
// decoded with unshrinkMember. Any input must end without a sanitizer report
// or a hang, return the engine's error, leave a window for the next member,
// and checksum exactly what it wrote.
#include "codec/unshrink.h"
#include "decoder_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    decoder_fuzz::initialize("unshrink");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    decoder_fuzz::Member m;
    if (!decoder_fuzz::parse(data, size, m)) return 0;
    const auto o =
        decoder_fuzz::decode(data + decoder_fuzz::kHeaderSize, size - decoder_fuzz::kHeaderSize, m,
                             [](zip& z) { return unshrinkMember(z); });
    DECODER_FUZZ_CHECK(o.result == o.error);
    // Success, the archive file ending inside the member, or a full target.
    DECODER_FUZZ_CHECK(o.error == 0 || o.error == -1 || o.error == ZERR_TOOLARGE);
    DECODER_FUZZ_CHECK(o.window_present);
    // The target keeps only what fits; the checksum then covers more.
    if (o.error != ZERR_TOOLARGE) DECODER_FUZZ_CHECK(o.crc_matches);
    if (o.error == ZERR_TOOLARGE) DECODER_FUZZ_CHECK(o.output_count == o.capacity);
    return 0;
}
