// The media classes and the hooks that tie sound and QuickTime to the file,
// registry, system, window and exit layers above and below them.
#pragma once

// Start-up, among the classes and before the file members are typed:
// registers "Sound", "Movie", "MoviePlayer" and its action class, and fills
// the hooks.
void RegisterMediaClasses();
