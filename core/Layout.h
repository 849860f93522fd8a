// Binary layouts of the run-time's records are exact on the 32-bit target;
// a native 64-bit build of the portable code (for sanitizer and fuzz runs)
// checks them nowhere, since its pointers are wider.
#pragma once

constexpr bool kLayoutIs32Bit = sizeof(void*) == 4;
