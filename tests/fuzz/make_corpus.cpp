// Writes the seed corpora of the fuzz targets with the run-time's own code:
// databases made by the storage core, DIBs laid out by the DIB writer,
// streams written by the stream helpers, pixel buffers and shapes.
//   make_corpus <folder>   (writes <folder>/<target>/<name>)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "core/CoreClasses.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "files/ByteStream.h"
#include "files/VHFS.h"
#include "graphics/PackedDIB.h"
#include "tests/database/dbengine_support.h"
#include "testsupport/EmfWriter.h"
#include "testsupport/MemoryFileStream.h"

namespace {

std::string root;

void Save(const char* target, const char* name, const std::string& bytes) {
  const std::string path = root + "/" + target + "/" + name;
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  if (bytes.size() > 64 * 1024) std::fprintf(stderr, "%s is over 64 KiB\n", path.c_str());
}

std::string BigEndian32(uint32_t value) {
  std::string bytes(4, '\0');
  PutBigEndian32(&bytes[0], value);
  return bytes;
}

// ---- dbfile: four bytes of journal length, the file, the journal. ----
void DatabaseWithRows(const char* name, int32_t rows, size_t length) {
  MemoryStorage storage;
  DBFile* db = CreateDatabaseFileAt(PathString("seed.db").get(), storage);
  if (rows >= 0) CreateTableTree(*db, kTable);
  for (int32_t key = 0; key < rows; ++key)
    crash_scenario::InsertRow(*db, key * 3, std::string(length, char('a' + key % 26)));
  CloseDatabaseFile(db);
  Save("dbfile", name, BigEndian32(0) + storage.Bytes("seed.db"));
}

void DatabaseSeeds() {
  DatabaseWithRows("empty", -1, 0);
  DatabaseWithRows("table", 0, 0);
  DatabaseWithRows("rows", 40, 30);
  DatabaseWithRows("split-tree", 120, 200);
  const std::string journal = StoredFile("interrupted.db-journal");
  Save("dbfile", "interrupted", BigEndian32(uint32_t(journal.size())) +
                                    StoredFile("interrupted.db") + journal);
  Save("dbfile", "committed", BigEndian32(0) + StoredFile("committed.db"));
}

// ---- engine: the same form, with a catalog of tables, BLOBs among them. ----
void EngineSeeds() {
  MemoryStorage storage;
  EngineLists lists;
  DBEngineDatabase* db = CreateEngineDatabaseAt(PathString("seed.db").get(), storage);
  const uint8_t key[] = {0};
  CreateTable(*db, lists.S("people"),
              lists.Columns({{"id", kDBInteger, 0}, {"name", kDBVarChar}}), key, 1);
  CreateTable(*db, lists.S("pictures"), lists.Columns({{"id", kDBInteger}, {"data", kDBBlob}}),
              nullptr, 0);
  for (int i = 0; i < 20; ++i) {
    const std::string id = std::to_string(i), name = "name " + id;
    InsertRow(*db, lists.S("people"), lists.Values({{"id", id.c_str()}, {"name", name.c_str()}}));
  }
  for (size_t length : {10u, 2000u, 5000u}) {
    const std::string id = std::to_string(length), blob(length, 'x');
    InsertRow(*db, lists.S("pictures"), lists.Values({{"id", id.c_str()}, {"data", blob.c_str()}}));
  }
  CloseEngineDatabase(db);
  Save("engine", "tables-and-blobs", BigEndian32(0) + storage.Bytes("seed.db"));
}

// ---- dib: packed DIBs and BMP files of every depth. ----
std::string PackedDIB(int32_t width, int32_t height, uint16_t bits) {
  PackedDIBLayout layout{};
  const uint32_t colours = bits <= 8 ? (1u << bits) : 0;
  PlanPackedDIB(width, height, bits, colours, &layout);
  std::string dib(layout.totalSize, '\0');
  auto* out = reinterpret_cast<uint8_t*>(&dib[0]);
  WritePackedDIBHeader(out, width, height, bits, 96, 96);
  for (uint32_t i = layout.tableOffset; i < layout.totalSize; ++i) out[i] = uint8_t(i * 29);
  return dib;
}

std::string BMPFile(const std::string& dib, uint32_t pixelOffset) {
  std::string file = "BM" + std::string(12, '\0');
  const uint32_t size = uint32_t(dib.size() + 14);
  std::memcpy(&file[2], &size, 4);
  const uint32_t offset = pixelOffset + 14;
  std::memcpy(&file[10], &offset, 4);
  return file + dib;
}

void DIBSeeds() {
  const struct { const char* name; int32_t width, height; uint16_t bits; } kinds[] = {
      {"1bit", 13, 5, 1}, {"4bit", 9, 4, 4}, {"8bit", 7, 3, 8}, {"24bit", 5, 6, 24}};
  for (const auto& kind : kinds) {
    const std::string dib = PackedDIB(kind.width, kind.height, kind.bits);
    PackedDIBLayout layout{};
    PlanPackedDIB(kind.width, kind.height, kind.bits, kind.bits <= 8 ? 1u << kind.bits : 0,
                  &layout);
    Save("dib", (std::string(kind.name) + ".dib").c_str(), dib);
    Save("dib", (std::string(kind.name) + ".bmp").c_str(), BMPFile(dib, layout.pixelOffset));
  }
  // Top-down 32 bits with bitfields: masks after the header.
  std::string bitfields = PackedDIB(4, 2, 32);
  int32_t height = -2;
  uint32_t compression = kDIBCompressionBitfields;
  std::memcpy(&bitfields[8], &height, 4);
  std::memcpy(&bitfields[16], &compression, 4);
  const uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF};
  bitfields.insert(40, std::string(reinterpret_cast<const char*>(masks), sizeof masks));
  Save("dib", "bitfields32.dib", bitfields);
}

// ---- streams: setup bytes, op bytes, then values the helpers wrote. ----
void StreamSeeds() {
  MemoryFileStream values;
  for (int32_t value : {0, 1, -1, 63, 64, -64, 8191, 1 << 20, INT32_MAX, INT32_MIN})
    ByteStreamWriteCompactInt(values, value);
  ByteStreamWriteShort(values, -2);
  ByteStreamWriteLong(values, 0x12345678);
  ByteStreamWriteDouble(values, 3.25);
  const std::string ops("\x00\x01\x02\x03\x04\x05\x06\x07\x08", 9);
  const std::string plain = std::string("\x00\x00\x00\x00", 4) + char(ops.size()) + ops;
  Save("streams", "values", plain + values.Bytes());
  Save("streams", "values-swapped", std::string("\x10\x00\x00\x00", 4) + char(ops.size()) + ops +
                                        values.Bytes());
  Save("streams", "short-reads", std::string("\x02\x20\x00\x03", 4) + char(ops.size()) + ops +
                                     values.Bytes());
  Save("streams", "lines", plain + "first line\r\nsecond\nthird\r\xC3\xA9t\xC3\xA9\r\n");
  const std::u16string wide = u"one\r\ntwo\nthr\u00E9e";
  Save("streams", "lines-utf16",
       plain + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
}

// ---- pixels: shape byte, width, height, then padding and rows. ----
void PixelSeeds() {
  const struct { const char* name; uint8_t shape, width, height; } kinds[] = {
      {"depth16", 0, 9, 7}, {"depth24", 1, 8, 8}, {"depth32-bottom-up", 6, 12, 5},
      {"wide24", 9, 150, 3}};
  for (const auto& kind : kinds) {
    std::string bytes{char(kind.shape), char(kind.width - 1), char(kind.height - 1), '\x02'};
    // Stripes and a ring, so that fills meet walls.
    for (int i = 0; i < kind.width * kind.height * 4 + 16; ++i)
      bytes += (i / 12) % 3 == 0 ? '\xFF' : '\x00';
    bytes += std::string("\x03\x02\x00\x00\xFF\x00", 6);
    Save("pixels", kind.name, bytes);
  }
}

// ---- geometry: kind, doubles of the box shape, curves, group, moves. ----
std::string Doubles(std::initializer_list<double> values) {
  std::string bytes;
  for (double value : values) bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
  return bytes;
}

void GeometrySeeds() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (char kind = 0; kind < 4; ++kind) {
    std::string bytes(1, kind);
    bytes += Doubles({10, 20, 0.5, 1, 100, 50, 8, 6});
    bytes += std::string("\x02", 1) + std::string(32, '\x10') + "\x02" + std::string(32, '\x20');
    bytes += Doubles({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    Save("geometry", (std::string("kind") + char('0' + kind)).c_str(), bytes);
  }
  std::string odd(1, '\x03');
  odd += Doubles({nan, inf, -inf, 1e308, 1e308, -1e308, nan, 1e-308, 3e9, inf, nan});
  Save("geometry", "non-finite", odd);
}

// ---- row_selection: steps of {op, row a, row b}. ----
void RowSelectionSeeds() {
  struct Step { uint8_t op; int16_t a, b; };
  auto save = [](const char* name, std::initializer_list<Step> steps) {
    std::string bytes;
    for (const Step& step : steps) {
      bytes += char(step.op);
      bytes.append(reinterpret_cast<const char*>(&step.a), 2);
      bytes.append(reinterpret_cast<const char*>(&step.b), 2);
    }
    Save("row_selection", name, bytes);
  };
  // Ops: 0 select (0x80) or deselect, 1 only, 2 span, 3 insert, 4 remove,
  // 5 clear, 6 take the head range.
  save("spans", {{3, 0, 200}, {2, 10, 40}, {2, 60, 50}, {0x80, 45, 0}, {0, 20, 0}, {6, 0, 0},
                 {2, 5, 199}});
  save("inserts-removes", {{3, 0, 100}, {2, 10, 30}, {3, 20, 5}, {4, 15, 10}, {4, 0, 200},
                           {3, 0, 50}, {1, 7, 0}, {4, 7, 1}, {5, 0, 0}});
  save("singles", {{3, 0, 30}, {0x80, 3, 0}, {0x80, 4, 0}, {0x80, 2, 0}, {0x80, 10, 0},
                   {0, 3, 0}, {0x80, 3, 0}, {3, 4, 2}, {4, 2, 3}});
}

// ---- sql: each statement of the SQL tests' corpus. ----
void SQLSeeds() {
  std::ifstream corpus(DBSQL_CORPUS);
  int index = 0;
  for (std::string line; std::getline(corpus, line);)
    if (!line.empty()) Save("sql", ("statement" + std::to_string(++index)).c_str(), line);
}

// ---- volume: containers that VHFS wrote, small and with a map. ----
class KeptStream : public MemoryFileStream {
 public:
  explicit KeptStream(std::string* kept) : kept_(kept) {}
  ~KeptStream() override { *kept_ = Bytes(); }

 private:
  std::string* kept_;
};

void VolumeSeed(const char* name, int folders, int files, size_t length) {
  std::string bytes;
  std::unique_ptr<VHFS> volume = VHFS::CreateVolume(FileStreamPtr(new KeptStream(&bytes)));
  VHFSItemRef parent = volume->GetRootItem();
  for (int i = 0; i < folders; ++i)
    parent = volume->CreateFolder(parent, "folder " + std::to_string(i));
  for (int i = 0; i < files; ++i) {
    VHFSItemRef file = volume->CreateItem(parent, "file " + std::to_string(i), 0x54455854);
    std::unique_ptr<VHFSStream> stream = volume->OpenItemStream(file);
    const std::string data(length, char('A' + i));
    stream->Write(data.data(), int32_t(data.size()));
    stream->Close();
  }
  volume->Close();
  volume.reset();
  Save("volume", name, bytes);
}

void VolumeSeeds() {
  VolumeSeed("empty", 0, 0, 0);
  VolumeSeed("flat", 0, 3, 100);
  VolumeSeed("nested", 4, 2, 1500);
}

// ---- rotation: width, height, mode, factor, angle, then the two rasters. ----
void RotationSeeds() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct { const char* name; uint8_t width, height, mode; double factor, angle; } kinds[] = {
      {"quarter-mask", 15, 9, 1, 0.5, 1.5707963267948966}, {"small-image", 20, 20, 2, -0.1, 0.3},
      {"half-turn", 7, 30, 2, 2.0, 3.14159}, {"nan", 10, 6, 1, nan, nan}};
  for (const auto& kind : kinds) {
    std::string bytes{char(kind.width - 1), char(kind.height - 1), char(kind.mode)};
    bytes += Doubles({kind.factor, kind.angle});
    bytes += '\x01';
    for (int i = 0; i < kind.width * kind.height * 4; ++i) bytes += char(i * 7);
    Save("rotation", kind.name, bytes);
  }
}

// ---- emf: a metafile of every translated record, whole and cut. ----
void MetafileSeeds() {
  const std::vector<uint8_t> every = EveryRecordEMF();
  const std::string bytes(every.begin(), every.end());
  Save("emf", "every-record", bytes);
  Save("emf", "cut", bytes.substr(0, bytes.size() / 2));
  std::vector<uint8_t> empty = EmfWriter().File(0);
  Save("emf", "empty", std::string(empty.begin(), empty.end()));
}

// ---- sort: columns, keys, run budget, merge width, then typed values. ----
void SortSeeds() {
  auto value = [](uint8_t selector, std::string bytes) { return std::string(1, char(selector)) + bytes; };
  std::string small = {char(1), char(1), char(0), char(2), char(0), char(2)};
  std::string wide = {char(2), char(2), char(0x80), char(1), char(1), char(0), char(3)};
  for (int i = 0; i < 200; ++i) {
    const double number = (i % 7) - 3.0;
    const std::string bytes(reinterpret_cast<const char*>(&number), sizeof number);
    small += value(4, i % 5 ? bytes : std::string(8, '\0'));
    // texts (selector 5 with a length in the top bits), doubles and nulls
    wide += value(uint8_t(5 | ((i % 4) << 5)), std::string(size_t(i % 4), char('a' + i % 3)));
    wide += value(i % 3 ? 4 : 0, i % 3 ? bytes : std::string());
  }
  Save("sort", "doubles-small-runs", small);
  Save("sort", "texts-two-keys", wide);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus <folder>\n");
    return 2;
  }
  root = argv[1];
  SetMessageBoxRecording(true);
  RegisterCoreClasses();
  DatabaseSeeds();
  EngineSeeds();
  DIBSeeds();
  StreamSeeds();
  PixelSeeds();
  GeometrySeeds();
  RowSelectionSeeds();
  SQLSeeds();
  VolumeSeeds();
  RotationSeeds();
  MetafileSeeds();
  SortSeeds();
  return TakeRecordedBoxes().empty() ? 0 : 1;
}
