// Save-info data: a byte string that finds a file or folder of the Win32
// file system again, by its absolute path, by its path relative to a base
// item (so that it follows the base when both move together), or both.
//
//   offset 0  00 F1 D1 73 (signature)
//          4  version, written as 1, not examined
//          5  mode: 0 both paths, 1 relative path only, 2 absolute only
//          6  records to the end: tag (u16, low byte first), length (u32,
//             high byte first), then the data:
//             0 end (length 0); 1 absolute path; 2 relative path; 3 one byte,
//             volume root; 4 one byte, Recycle Bin entry.
//
// Paths are the UTF-8 bytes of the item's path as they are, without a
// terminator. Records are written tag 2, tag 1 (as the mode has them), 3,
// 4, 0.
//
// Reading refuses: data shorter than 6 bytes, a wrong signature and a mode
// above 2. A record counts only when its header and data lie inside the
// data; the first that does not ends the records, as tag 0 does. A flag
// record without data leaves its flag false; unknown tags are skipped. An
// empty relative path (written when item and base lie on different drives)
// counts as none.
//
// Portable: no system header. Path texts compare ASCII case ignored.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Modes.
constexpr uint8_t kSaveInfoBothPaths = 0;
constexpr uint8_t kSaveInfoRelativePath = 1;
constexpr uint8_t kSaveInfoAbsolutePath = 2;

struct SaveInfoRecords {
  uint8_t mode = kSaveInfoAbsolutePath;
  std::string absolutePath;  // empty: none
  std::string relativePath;  // empty: none
  bool volumeRoot = false;
  bool trashEntry = false;
  int unknownRecords = 0;  // skipped on reading
};

// The data of the records: the path records the mode asks for, then the
// flags. A mode above 2 is written as 2.
std::string EncodeSaveInfo(const SaveInfoRecords& records);
// False when the data is refused (see above) or holds no path the mode uses.
bool DecodeSaveInfo(const uint8_t* data, size_t size, SaveInfoRecords* records);

// A folder path as the save-info routines see it: its text (a folder's with
// its trailing backslash, as GetAbsolutePath gives it) and whether it is a
// folder; a file stands for the folder that holds it.
struct SaveInfoPlace {
  std::string absolutePath;
  bool isFolder = false;
};

// The path leading from base's folder to the item of that path (without a
// trailing backslash): "b\f.txt", "..\b\f.txt". Empty when the two lie on
// different drives.
std::string RelativeSaveInfoPath(const SaveInfoPlace& base, const std::string& itemPath,
                                 bool itemIsFolder);
// The relative path followed from base's folder: empty when a ".." climbs
// above the drive.
std::string ResolveSaveInfoPath(const std::string& relative, const SaveInfoPlace& base);
