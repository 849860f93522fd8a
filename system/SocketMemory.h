// Memory of socket implementation objects (and of the test's stand-ins for
// their owners). Sockets are freed from inside event handlers, poll walks and
// owner unlocks, so the test flavour guards these blocks: a freed block is
// filled with poison and held back (never reused while held), and its poison
// is checked when it leaves the quarantine. A damaged block is reported
// through AssertionFailed ("SocketMemory", "freed block unchanged"). In the
// release flavour the blocks are plain heap blocks.
#pragma once
#include <cstddef>
#include <cstdint>

void* AllocateSocketBlock(size_t size);
void FreeSocketBlock(void* block);  // null ignored

// Checks the poison of every block held now; gives the number found damaged
// (each also reported). Always 0 in the release flavour.
int32_t CheckSocketQuarantine();

// Base of classes whose objects live in socket blocks.
class SocketBlock {
 public:
  static void* operator new(size_t size) { return AllocateSocketBlock(size); }
  static void operator delete(void* block) { FreeSocketBlock(block); }
};
