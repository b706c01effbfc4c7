// The inflate decoder built a second time with its fast paths switched off
// (ZARVO_INFLATE_BY_RULES): every symbol and stored byte goes through the bit
// buffer rules one fetch at a time. Tests and the fuzzer decode the same
// input with both and require the same output, result and error.
#pragma once

struct zip;

int inflateMemberByRules(zip& z);
int inflate64MemberByRules(zip& z);
