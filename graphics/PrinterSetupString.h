// The printer setup string: the text in which an application keeps a user's
// printer choices (in a file, a database) and hands them back later.
//
// Format: lines of key "=" value, each ended by CR LF (the last one too).
// Keys are fixed ASCII words, read ignoring case; the first line must be
// "DoNotAlterThis=SetupString.1". Numbers are signed decimals; names are the
// ANSI texts of a device-names block; a device mode is the raw bytes of a
// DEVMODEA (its dmSize of them, NUL bytes included), announced by a size
// line before it. Lines in the order written:
//   DoNotAlterThis, ActualHorizontalResolution, ActualVerticalResolution,
//   MaxHorizontalResolution, MaxVerticalResolution;
//   with a valid page setup: MarginLeft, MarginRight, MarginTop,
//   MarginBottom, MinMarginLeft, MinMarginRight, MinMarginTop,
//   MinMarginBottom, PageSetupFlags, then DevModeStructureSizePS and
//   DevModeStructurePS, then DriverName, DeviceName, OutputName;
//   with a valid print dialog: PrintSetupFlags, FromPage, ToPage, MinPage,
//   MaxPage, then DriverName, DeviceName, OutputName, then
//   DevModeStructureSizePD and DevModeStructurePD.
//
// This unit is the text side only, free of <windows.h> so that it also
// builds natively for fuzzing: text <-> PrinterSettings, a plain record of
// numbers and byte strings. WinPrinter fills the record from its dialog
// records and global blocks and takes back what a read changed.
//
// The text is outside input. Reading refuses it as a whole (false, nothing
// changed) when it holds no CR LF or its first key/value line is not
// DoNotAlterThis. Otherwise lines without "=" and unknown keys are skipped,
// a value ends at a further "=", a number reads as its leading digits (0
// without any), and:
// - a device-mode line without a size before it is skipped;
// - after a size, the device-mode value is exactly that many bytes after
//   the line's first "=" (fewer only at the text's end), so "=" and CR LF
//   inside a device mode survive; the bytes past the value stay zero and
//   dmDriverExtra reads 0, since the driver's private bytes are not carried;
// - names whose device-names block would pass 65535 bytes build none.
// Every number is checked before use, and one out of range refuses the
// text as a whole: a resolution outside 1..32767, a maximum neither that
// nor -1, a margin or minimum margin outside 0..327670, a page outside
// 0..65535, a device-mode size below kMinimumCarriedDevModeSize or above
// 65535, and a device mode whose fields leave kDevModeFieldRanges or whose
// device name (or form name, when named) has no NUL in its 32 bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The three texts of a device-names block.
struct PrinterDeviceNames {
  std::string driver, device, output;
};

// A rectangle of page-setup values, hundredths of a millimetre.
struct PageSetupRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct PrinterSettings {
  int32_t horizontalResolution = 72;
  int32_t verticalResolution = 72;
  int32_t maxHorizontalResolution = 72;  // -1: no cap
  int32_t maxVerticalResolution = 72;

  bool pageSetupValid = false;
  PageSetupRect margins, minMargins;
  int32_t pageSetupFlags = 0;
  std::optional<std::string> pageSetupDevMode;  // raw DEVMODEA bytes
  std::optional<PrinterDeviceNames> pageSetupNames;

  bool printValid = false;
  int32_t printFlags = 0;
  uint16_t fromPage = 0, toPage = 0, minPage = 0, maxPage = 0;
  std::optional<PrinterDeviceNames> printNames;
  std::optional<std::string> printDevMode;
};

// The text of the settings; a group's device mode and names are written
// when they are present.
std::string WritePrinterSetupString(const PrinterSettings& settings);

// Reads the text into the settings, which keep what the text does not name;
// both valid flags are cleared, and the page setup is valid again only when
// the text carries its device mode. Device modes and names are set only
// when the text carries them (callers pass them empty and take a present
// one as a replacement); names go to both groups.
bool ReadPrinterSetupString(std::string_view text, PrinterSettings* settings);

// A maximum resolution as a setup string carries it, for any Integer the
// application sets: -1 (no cap) and 1 to 32,767 as they are, a new setup's
// 72 for any other value below 1, 32,767 above. The text written then
// always reads back.
int32_t CarriedMaximumResolution(int32_t value);

// ---- DEVMODEA and DEVNAMES bytes -------------------------------------------
// The fixed part a carried device mode must hold: the fields up to
// dmPanningHeight, which the print dialog's carry-over block also has.
constexpr size_t kMinimumCarriedDevModeSize = 148;
constexpr size_t kDevModeSizeOffset = 36;         // dmSize, u16
constexpr size_t kDevModeDriverExtraOffset = 38;  // dmDriverExtra, u16
constexpr size_t kDevModeFieldsOffset = 40;       // dmFields, u32
constexpr size_t kDevModeFormNameOffset = 70;     // dmFormName
constexpr size_t kDevModeNameLength = 32;         // dmDeviceName, dmFormName
constexpr uint32_t kDevModeFormName = 0x10000;    // DM_FORMNAME

// The 16-bit device-mode fields a setup string's device mode must keep in
// range while dmFields names them: least..most, or at least leastUser when
// that is not 0 (the driver's own paper sizes).
struct DevModeFieldRange {
  uint32_t field;  // the DM_ bit
  size_t offset;
  int32_t least, most, leastUser;
};
constexpr DevModeFieldRange kDevModeFieldRanges[] = {
    {0x1, 44, 1, 2, 0},         // dmOrientation: portrait, landscape
    {0x2, 46, 1, 118, 256},     // dmPaperSize: DMPAPER_LETTER..DMPAPER_LAST, DMPAPER_USER on
    {0x4, 48, 1, 32767, 0},     // dmPaperLength, tenths of a millimetre
    {0x8, 50, 1, 32767, 0},     // dmPaperWidth
    {0x10, 52, 1, 32767, 0},    // dmScale, percent
    {0x100, 54, 1, 32767, 0},   // dmCopies
    {0x400, 58, -4, 32767, 0},  // dmPrintQuality: DMRES_ values or dots per inch
    {0x800, 60, 1, 2, 0},       // dmColor: monochrome, colour
    {0x1000, 62, 1, 3, 0},      // dmDuplex: simplex, vertical, horizontal
    {0x2000, 64, 1, 32767, 0},  // dmYResolution
    {0x4000, 66, 1, 4, 0},      // dmTTOption
    {0x8000, 68, 0, 1, 0},      // dmCollate
};

// The bytes of a device mode that a block of blockSize bytes carries: its
// dmSize, at most the block; 0 when the block cannot hold dmSize.
size_t CarriedDevModeSize(const uint8_t* block, size_t blockSize);

// A device-names block (offsets 8, then each text after the previous one's
// NUL; wDefault 0); none when it would pass 65535 bytes.
std::optional<std::string> DeviceNamesBlock(const PrinterDeviceNames& names);
// The texts of a device-names block: each from its offset to its NUL or the
// block's end; an offset outside the block reads as "".
PrinterDeviceNames ReadDeviceNamesBlock(const uint8_t* block, size_t blockSize);
