// A small movie file for the media tests and benchmarks: an uncompressed
// AVI of 32-bit frames, each one solid colour, with its index.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Frames of the colours (0xRRGGBB) at the rate; false when the file cannot
// be written.
bool WriteTestMovie(const std::wstring& path, int32_t width, int32_t height,
                    uint32_t framesPerSecond, const std::vector<uint32_t>& colours);
