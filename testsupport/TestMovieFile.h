// A small movie file for the media tests and benchmarks: an uncompressed
// AVI of 32-bit frames, each one solid colour, with its index; and the
// colour a window shows, as the screen has it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Frames of the colours (0xRRGGBB) at the rate, with a sound stream of
// silence (8-bit mono) beside them if asked; false when the file cannot be
// written.
bool WriteTestMovie(const std::wstring& path, int32_t width, int32_t height,
                    uint32_t framesPerSecond, const std::vector<uint32_t>& colours,
                    bool withSound = false);

// 0xRRGGBB at the middle of the window's client area, read from the screen
// (what a video device draws is nowhere else).
uint32_t ScreenColourAtMiddle(HWND window);
