// The earlier inflate decoder (reference_inflate.cpp): same contract as
// inflateMember and inflate64Member.
#pragma once

struct zip;

int referenceInflateMember(zip& z);
int referenceInflate64Member(zip& z);
