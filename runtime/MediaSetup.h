// The media classes and the hooks that tie sound and QuickTime to the file,
// registry, system, window and exit layers above and below them.
#pragma once
#include <cstddef>

// Start-up, among the classes and before the file members are typed:
// registers "Sound", "Movie", "MoviePlayer" and its action class, fills the
// hooks, and fills the Sound, QuickTime and picture-import slots of the
// files subsystem's media table. QuickTime's file specs there name
// a path by a number the table keeps until the spec is used;
// movie-file references likewise until the file is closed.
void RegisterMediaClasses();

// The file specs whose paths are held: 0 once each made has been
// used, at most 1 while one waits for its use.
size_t HeldQuickTimeFileSpecs();
