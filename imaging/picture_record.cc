#include "imaging/picture_record.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include "core/picture_names.h"
#include "imaging/bmp_writer.h"
#include "imaging/colour_reduction.h"
#include "imaging/gif_converter.h"
#include "imaging/graphics_exception.h"
#include "imaging/jpeg_reader.h"
#include "imaging/png_reader.h"

namespace wayfetch {

namespace {

PictureRecord placeholder(std::string message) {
  PictureRecord record;
  record.bytes = placeholder_record();
  record.converted = false;
  record.message = message.empty() ? "Picture could not be converted" : std::move(message);
  return record;
}

PictureRecord convert(PictureInput& input, const std::string& name, const PictureLimits& limits) {
  try {
    uint8_t head[8] = {};
    const size_t got = input.read(head, sizeof head);
    PictureKind kind = picture_kind_of_bytes(head, got);
    if (kind == PictureKind::unknown) kind = picture_kind_of_name(name);
    if (!input.rewind()) return placeholder("Picture file cannot be read");

    PictureRecord record;
    switch (kind) {
      case PictureKind::gif:
        convert_gif(input, record.bytes, limits);
        break;
      case PictureKind::jpeg:
      case PictureKind::png: {
        const Bitmap bitmap = record_bitmap(input, kind, limits);
        write_bmp(record.bytes, bitmap, palm_indices_of(bitmap));
        break;
      }
      case PictureKind::unknown:
        return placeholder("Not a GIF, JPEG or PNG picture");
    }
    record.converted = true;
    return record;
  } catch (const EGraphicsException& e) {
    return placeholder(e.what());
  } catch (const std::bad_alloc&) {
    return placeholder("Insufficient memory");
  } catch (const std::exception& e) {
    return placeholder(e.what());
  }
}

}  // namespace

PictureKind picture_kind_of_name(const std::string& name) {
  switch (picture_ending_of(name)) {
    case PictureEnding::gif:
      return PictureKind::gif;
    case PictureEnding::jpeg:
      return PictureKind::jpeg;
    case PictureEnding::png:
      return PictureKind::png;
    case PictureEnding::none:
      break;
  }
  return PictureKind::unknown;
}

PictureKind picture_kind_of_bytes(const uint8_t* bytes, size_t count) {
  if (count >= 4 && std::memcmp(bytes, "GIF8", 4) == 0) return PictureKind::gif;
  if (count >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
    return PictureKind::jpeg;
  }
  if (count >= 8 && std::memcmp(bytes, "\x89PNG\r\n\x1A\n", 8) == 0) return PictureKind::png;
  return PictureKind::unknown;
}

Bitmap record_bitmap(PictureInput& input, PictureKind kind, const PictureLimits& limits) {
  Bitmap bitmap;
  if (kind == PictureKind::jpeg) {
    decode_jpeg(input, bitmap, record_size, limits);
  } else if (kind == PictureKind::png) {
    decode_png(input, bitmap, record_size, limits);
  } else {
    throw EGraphicsException("Not a JPEG or PNG picture");
  }
  make_8_bits(bitmap);
  return bitmap;
}

std::vector<uint8_t> placeholder_record() {
  Bitmap bitmap(8, 8, 8);
  bitmap.palette_entry(0) = {255, 255, 255};  // every pixel is index 0
  std::vector<uint8_t> bytes;
  write_bmp(bytes, bitmap, palm_indices_of(bitmap));
  return bytes;
}

PictureRecord convert_picture(const std::string& picture_path, const PictureLimits& limits) {
  PictureInput input(picture_path);
  if (!input.is_open()) return placeholder("Cannot open picture file " + picture_path);
  return convert(input, picture_path, limits);
}

PictureRecord convert_picture_data(const uint8_t* data, size_t size, const std::string& name,
                                   const PictureLimits& limits) {
  PictureInput input(data, size);
  return convert(input, name, limits);
}

}  // namespace wayfetch
