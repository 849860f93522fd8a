// The graphics importer and exporter of picture export and SaveAsJPEG on
// the platform's imaging encoders, as the media backend hands them out.
//
// A picture importer reads the picture file export makes (512 bytes of file
// header, then the picture's packed DIB) from a handle it borrows: the
// handle must outlive the importer's last export. Its export dialog offers
// the five formats of ImagingCodecs.h; its export writes the picture at the
// resolution its packed DIB states. An exporter writes its input importer's
// picture again with a resolution. Components are owned by whoever opened them and
// closed with CloseImageComponent; nothing they make outlives the call.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct ImageComponent;

// An importer ('grip', 'PICT') or the exporter of a format ('grex' and a
// file type of ImagingCodecs.h); nil for any other.
ImageComponent* OpenImageComponent(uint32_t type, uint32_t subtype);
void CloseImageComponent(ImageComponent* component);

// An importer's data: false, with the data dropped, when the block is not a
// picture file of a readable packed DIB.
bool ImporterTakeData(ImageComponent* importer, const uint8_t* bytes, size_t size);
// The save dialog "Export Image As:" (suggested "Untitled Image.bmp"): the
// chosen file type and UTF-8 path; false for a cancel.
bool ImporterRunExportDialog(ImageComponent* importer, uint32_t* fileType, std::string* path);
bool ImporterExportFile(ImageComponent* importer, uint32_t fileType, const char* utf8Path);

bool ExporterSetInput(ImageComponent* exporter, ImageComponent* importer);
// Dots per inch in unsigned 16.16 fixed point (up to 65,535.99); both above 0.
bool ExporterSetResolution(ImageComponent* exporter, int32_t horizontal, int32_t vertical);
bool ExporterSetOutput(ImageComponent* exporter, const char* utf8Path);
bool ExporterWrite(ImageComponent* exporter);
