// The inflate decoder's source compiled again, its fast paths off and its
// entry points renamed, so that it links beside the real one.
#define ZARVO_INFLATE_BY_RULES 1
#define inflateMember inflateMemberByRules
#define inflate64Member inflate64MemberByRules
#define readBlockHeader readBlockHeaderByRules
#define copyStoredBlock copyStoredBlockByRules
#define decodeFixedBlock decodeFixedBlockByRules
#define decodeDynamicBlock decodeDynamicBlockByRules
#define decodeSymbols decodeSymbolsByRules
#include "codec/inflate.cpp"
