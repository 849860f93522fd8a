// The checks a page passes before it is cached, so that walking it can never
// run past its bytes: a known kind; `used` at most 8174; entries that tile
// `used` exactly, each at least 10 bytes (table record) or 12 (interior), a
// directory record exactly 18 + its name length; states 'A' or 'D'; table
// records whose fields are whole and of known types; child and root page
// numbers below the page count.
#pragma once
#include <cstdint>

bool PageIsValid(const uint8_t* page, uint32_t pageCount);
