// Test programs fill every freed block before giving it back, through their
// global operator delete and the run-time allocator, so that an object, sink
// or pane touched after its deletion fails a test rather than passing on
// stale contents by luck.
#pragma once

// Switches the run-time allocator's fill on; the operator delete of this
// unit fills from the program's start (calling this links it in).
void FillFreedBlocks();
