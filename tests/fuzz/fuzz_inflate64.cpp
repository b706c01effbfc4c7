// libFuzzer target for Deflate64: fuzz_inflate's harness and input format,
// decoding with inflate64Member and its rule-by-rule twin.
#define ZARVO_FUZZ_DEFLATE64 1
#include "fuzz_inflate.cpp"
