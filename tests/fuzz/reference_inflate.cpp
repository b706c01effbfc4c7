// The inflate decoder and its table builder as they were before the fast
// loop was rewritten (tests/fuzz/reference, kept unchanged), compiled with
// their entry points renamed so that they link beside the current ones. The
// fuzz targets require the two to agree on every input.
//
// The table builder's header comes in under its own names first: the copy
// defines the earlier builder (no arena) under the reference name.
#include "codec/decode_table.h"

#define inflateMember referenceInflateMember
#define inflate64Member referenceInflate64Member
#define readBlockHeader referenceReadBlockHeader
#define copyStoredBlock referenceCopyStoredBlock
#define decodeFixedBlock referenceDecodeFixedBlock
#define decodeDynamicBlock referenceDecodeDynamicBlock
#define decodeSymbols referenceDecodeSymbols
#define buildDecodeTable referenceBuildDecodeTable
#define releaseDecodeTable referenceReleaseDecodeTable
#include "reference/decode_table.inc"
#include "reference/inflate.inc"
