// What a file's first four bytes say it holds, for opening it as a sound;
// and the JPEG codec of the database's picture columns, which goes through a
// temporary file and the Win32 item's SaveAsJPEG and ImportPicture.
#pragma once
#include <cstdint>
#include <string>

struct RuntimeObject;
struct StringRecord;

// The first four bytes of the file; false when it cannot be opened or is
// shorter.
bool ReadFileHeader(const std::string& path, uint8_t header[4]);
bool HeaderIsMIDI(const uint8_t header[4]);  // "MThd"
bool HeaderIsWAVE(const uint8_t header[4]);  // "RIFF"
// An MPEG audio frame header (sync bits, and no reserved version, layer,
// bit rate, sampling rate or emphasis), or an "ID3" tag.
bool HeaderIsMP3(const uint8_t header[4]);

// The picture as JPEG bytes (a new string in *bytes); false when it cannot
// be encoded. The temporary files are deleted.
bool EncodeJPEGThroughFile(RuntimeObject* picture, StringRecord** bytes);
// A new Picture of JPEG bytes; nil for empty bytes or bytes that do not
// import.
RuntimeObject* DecodeJPEGThroughFile(const StringRecord* bytes);
