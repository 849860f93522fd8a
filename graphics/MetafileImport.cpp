// The GDI side of metafile import: the file opened and enumerated with no
// device context, and each decoded shape value made into its Object2D.
#include "graphics/MetafileImport.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/RuntimeObjectFoundation.h"
#include "core/string.h"
#include "graphics/GlobalMemory.h"
#include "graphics/NativePicture.h"
#include "graphics/PictureClass.h"
#include "graphics/PictureImporter.h"
#include "graphics/Shapes2D.h"
#include "ui/WinUtil.h"

namespace {

// Owns an enhanced metafile handle.
class EnhancedMetafile {
 public:
  explicit EnhancedMetafile(HENHMETAFILE handle) : handle_(handle) {}
  ~EnhancedMetafile() {
    if (handle_) DeleteEnhMetaFile(handle_);
  }
  EnhancedMetafile(const EnhancedMetafile&) = delete;
  EnhancedMetafile& operator=(const EnhancedMetafile&) = delete;
  HENHMETAFILE get() const { return handle_; }

 private:
  HENHMETAFILE handle_;
};

HENHMETAFILE OpenEnhancedMetafile(const char* path) {
  return IsWindowsNT() ? GetEnhMetaFileW(WidePathOf(path).c_str()) : GetEnhMetaFileA(path);
}

bool EndsWith(const char* path, const char* ending) {
  size_t length = std::strlen(path);
  return length >= 4 && _stricmp(path + length - 4, ending) == 0;
}

template <class Fields>
Fields* NewShape(ObjectDefinition* definition, RuntimeObject** object) {
  *object = CreateInstance(definition);
  return *object ? ObjectFields<Fields>(*object) : nullptr;
}

// A box shape's size and centre from the box.
void LayOnBox(RectShapeFields* rect, const EmfBox& box) {
  rect->width = double(box.right) - box.left;
  rect->height = double(box.bottom) - box.top;
  rect->base.x = box.left + rect->width / 2;
  rect->base.y = box.top + rect->height / 2;
}

void ReplaceString(StringRecord** field, StringRecord* value) {
  StringRecordRelease(*field);
  *field = value;
}

// The picture of a bitmap record's header, table and bits, laid end to end
// as a packed DIB; nil when the packed-DIB reader refuses them.
RuntimeObject* PictureOfBitmapRecord(const EmfShape& shape) {
  GlobalBlock dib = GlobalBlock::Allocate(size_t(shape.bitmapInfoSize) + shape.bitsSize);
  {
    GlobalLockScope locked(dib.get());
    if (!locked.data()) return nullptr;
    std::memcpy(locked.data(), shape.bitmapInfo, shape.bitmapInfoSize);
    std::memcpy(locked.data() + shape.bitmapInfoSize, shape.bits, shape.bitsSize);
  }
  NativePicture* native = PackedDIBPicture::Create(dib.get());
  PictureObject* picture = native ? WrapNativePicture(native) : nullptr;
  return picture ? &picture->header : nullptr;
}

// The shapes of one import, made as the records come.
class ShapeBuilder : public EmfShapeSink {
 public:
  ~ShapeBuilder() override {
    for (RuntimeObject* shape : shapes_) RuntimeUnlockObject(shape);
  }

  bool AddShape(const EmfShape& value) override {
    if (RuntimeObject* shape = Make(value)) shapes_.push_back(shape);
    return shapes_.size() < kMostImportedShapes;
  }
  // Hands the shapes to the group.
  void Deliver(RuntimeObject* group) {
    if (ShapeContainerAdopt(group, shapes_.data(), uint32_t(shapes_.size()))) shapes_.clear();
  }

 private:
  RuntimeObject* Make(const EmfShape& value) {
    switch (value.kind) {
      case EmfShapeKind::kRect: return Boxed<RectShapeFields>(GetRectShapeDefinition(), value);
      case EmfShapeKind::kOval: return Boxed<OvalShapeFields>(GetOvalShapeDefinition(), value);
      case EmfShapeKind::kRoundRect: {
        RuntimeObject* shape = Boxed<RoundRectShapeFields>(GetRoundRectShapeDefinition(), value);
        if (auto* fields = shape ? ObjectFields<RoundRectShapeFields>(shape) : nullptr) {
          fields->cornerWidth = value.corner.x;
          fields->cornerHeight = value.corner.y;
        }
        return shape;
      }
      case EmfShapeKind::kPie: {
        RuntimeObject* shape = Boxed<ArcShapeFields>(GetArcShapeDefinition(), value);
        if (shape) {
          ArcStartAngleSetter(shape, offsetof(ArcShapeFields, startAngle), value.startAngle);
          ObjectFields<ArcShapeFields>(shape)->arcAngle = value.arcAngle;
        }
        return shape;
      }
      case EmfShapeKind::kLine: return Line(value);
      case EmfShapeKind::kFigure: return Figure(value);
      case EmfShapeKind::kPixmap: return Pixmap(value);
      case EmfShapeKind::kText: return Text(value);
    }
    return nullptr;
  }

  template <class Fields>
  RuntimeObject* Boxed(ObjectDefinition* definition, const EmfShape& value) {
    RuntimeObject* shape = nullptr;
    Fields* fields = NewShape<Fields>(definition, &shape);
    if (!fields) return nullptr;
    ApplyPenAndBrush(shape, value.brush, value.pen);
    LayOnBox(reinterpret_cast<RectShapeFields*>(fields), value.box);
    return shape;
  }

  RuntimeObject* Line(const EmfShape& value) {
    RuntimeObject* shape = nullptr;
    auto* line = NewShape<CurveShapeFields>(GetCurveShapeDefinition(), &shape);
    if (!line) return nullptr;
    ApplyPenAndBrush(shape, nullptr, value.pen);
    line->base.x = value.from.x;
    line->base.y = value.from.y;
    line->x2 = value.to.x;
    line->y2 = value.to.y;
    return shape;
  }

  RuntimeObject* Figure(const EmfShape& value) {
    RuntimeObject* shape = nullptr;
    auto* figure = NewShape<ShapeContainerFields>(GetFigureShapeDefinition(), &shape);
    if (!figure) return nullptr;
    ApplyPenAndBrush(shape, value.brush, value.pen);
    figure->base.x = value.centreX;
    figure->base.y = value.centreY;
    std::vector<RuntimeObject*> segments;
    segments.reserve(value.segments.size());
    for (const EmfSegment& at : value.segments) {
      RuntimeObject* segment = nullptr;
      auto* curve = NewShape<CurveShapeFields>(GetCurveShapeDefinition(), &segment);
      if (!curve) continue;
      curve->base.x = at.x1;
      curve->base.y = at.y1;
      curve->x2 = at.x2;
      curve->y2 = at.y2;
      segments.push_back(segment);
    }
    if (!ShapeContainerAdopt(shape, segments.data(), uint32_t(segments.size()))) {
      for (RuntimeObject* segment : segments) RuntimeUnlockObject(segment);
    }
    return shape;
  }

  RuntimeObject* Pixmap(const EmfShape& value) {
    RuntimeObject* image = PictureOfBitmapRecord(value);
    if (!image) return nullptr;
    RuntimeObject* shape = Boxed<PixmapShapeFields>(GetPixmapShapeDefinition(), value);
    if (!shape) {
      RuntimeUnlockObject(image);
      return nullptr;
    }
    auto* pixmap = ObjectFields<PixmapShapeFields>(shape);
    pixmap->base.base.fill = 1.0;
    RuntimeUnlockObject(pixmap->image);
    pixmap->image = image;
    pixmap->sourceLeft = value.source.left;
    pixmap->sourceTop = value.source.top;
    pixmap->sourceWidth = value.source.right;
    pixmap->sourceHeight = value.source.bottom;
    return shape;
  }

  RuntimeObject* Text(const EmfShape& value) {
    RuntimeObject* shape = nullptr;
    auto* text = NewShape<StringShapeFields>(GetStringShapeDefinition(), &shape);
    if (!text) return nullptr;
    text->base.x = value.reference.x;
    text->base.y = value.reference.y;
    text->base.fillColor = value.textColour;
    size_t bytes = size_t(value.textUnits) * (value.wideText ? 2 : 1);
    ReplaceString(&text->text, NewString(value.text, bytes,
                                         value.wideText ? kEncodingUTF16 : kEncodingASCII));
    if (const EmfFont* font = value.font) {
      text->textSize = std::abs(double(font->height));
      text->bold = font->weight >= 700;
      text->italic = font->italic;
      text->underline = font->underline;
      wchar_t face[33] = {};
      std::memcpy(face, font->face, size_t(font->faceUnits) * 2);
      ReplaceString(&text->textFont, StringFromWide(face, font->faceUnits));
    }
    return shape;
  }

  std::vector<RuntimeObject*> shapes_;
};

struct ImportContext {
  EmfRecordReader reader;
  ShapeBuilder builder;
};

}  // namespace

void ApplyPenAndBrush(RuntimeObject* shape, const EmfBrush* brush, const EmfPen* pen) {
  auto* fields = ObjectFields<Object2DFields>(shape);
  if (pen) {
    fields->borderColor = pen->colour;
    fields->border = 1.0;
    fields->borderWidth = EmfBorderWidth(*pen);
  } else {
    fields->border = 0;
    fields->borderWidth = 0;
  }
  if (brush) {
    fields->fillColor = brush->colour;
  } else {
    fields->fill = 0;
  }
  fields->rotation = 0;
  fields->scale = 1;
}

int CALLBACK EmfRecordToShapes(HDC, HANDLETABLE*, const ENHMETARECORD* record, int objects,
                               LPARAM data) {
  auto* context = reinterpret_cast<ImportContext*>(data);
  return context->reader.Read(reinterpret_cast<const uint8_t*>(record),
                              uint32_t(objects > 0 ? objects : 0), &context->builder);
}

RuntimeObject* ImportMetafileFile(const char* path, int32_t* width, int32_t* height) {
  if (!path) return nullptr;
  if (EndsWith(path, ".emf")) return ImportEnhancedMetafile(path, width, height);
  if (EndsWith(path, ".wmf")) {
    HMETAFILE metafile = IsWindowsNT() ? GetMetaFileW(WidePathOf(path).c_str()) : GetMetaFileA(path);
    if (metafile) DeleteMetaFile(metafile);
  }
  return nullptr;
}

RuntimeObject* ImportEnhancedMetafile(const char* path, int32_t* width, int32_t* height) {
  *width = *height = 0;
  RuntimeObject* group = CreateInstance(GetGroup2DDefinition());
  EnhancedMetafile metafile(path ? OpenEnhancedMetafile(path) : nullptr);
  ENHMETAHEADER header{};
  if (!group || !metafile.get() ||
      GetEnhMetaFileHeader(metafile.get(), sizeof header, &header) < 100) {
    return group;
  }
  // Fresh state for every enumeration: a file whose header record never
  // comes makes nothing.
  ImportContext context{EmfRecordReader(header.nBytes), ShapeBuilder()};
  EnumEnhMetaFile(nullptr, metafile.get(), EmfRecordToShapes, &context, nullptr);
  context.builder.Deliver(group);
  *width = int32_t(int64_t(header.rclBounds.right) - header.rclBounds.left);
  *height = int32_t(int64_t(header.rclBounds.bottom) - header.rclBounds.top);
  return group;
}
