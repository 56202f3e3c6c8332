#pragma once
// Resource numbers shared by quorvel.rc and the code; plain macros, which the
// resource compiler reads too.
#define IDI_QUORVEL 1
