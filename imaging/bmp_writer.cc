#include "imaging/bmp_writer.h"

#include <cstddef>

#include "core/byte_order.h"
#include "core/file.h"
#include "imaging/palm_palette.h"

namespace wayfetch {

namespace {

// BMP numbers are little-endian whatever the machine.
using byte_order::append_le16;
using byte_order::append_le32;

constexpr uint32_t file_header_bytes = 14;
constexpr uint32_t info_header_bytes = 40;

}  // namespace

std::vector<uint8_t> palm_indices_of(const Bitmap& bitmap) {
  std::vector<uint8_t> indices;
  indices.reserve(bitmap.palette().size());
  for (const PaletteEntry& entry : bitmap.palette()) {
    indices.push_back(palm_index(entry.red, entry.green, entry.blue));
  }
  return indices;
}

int write_bmp(std::vector<uint8_t>& out, const Bitmap& bitmap,
              const std::vector<uint8_t>& palm_indices, bool with_image_size) {
  const int32_t bits = bitmap.bit_count();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return 1;
  const uint32_t palette_bytes = 4 * static_cast<uint32_t>(bitmap.palette_size());
  const uint32_t offset = file_header_bytes + info_header_bytes + palette_bytes;
  const uint32_t pixel_bytes = static_cast<uint32_t>(bitmap.pixels().size());
  out.reserve(out.size() + offset + pixel_bytes);

  out.push_back('B');
  out.push_back('M');
  append_le32(out, offset + pixel_bytes);
  append_le32(out, 0);  // two reserved words
  append_le32(out, offset);

  append_le32(out, info_header_bytes);
  append_le32(out, static_cast<uint32_t>(bitmap.width()));
  append_le32(out, static_cast<uint32_t>(bitmap.height()));  // positive: rows bottom-up
  append_le16(out, 1);                                       // planes
  append_le16(out, static_cast<uint32_t>(bits));
  append_le32(out, 0);  // no compression
  append_le32(out, with_image_size ? pixel_bytes : 0);
  append_le32(out, 0);  // horizontal resolution
  append_le32(out, 0);  // vertical resolution
  append_le32(out, 0);  // colours used: 0 = all 2^bits
  append_le32(out, 0);  // important colours

  for (std::size_t i = 0; i < bitmap.palette().size(); ++i) {
    const PaletteEntry& entry = bitmap.palette()[i];
    out.push_back(entry.blue);
    out.push_back(entry.green);
    out.push_back(entry.red);
    out.push_back(i < palm_indices.size() ? palm_indices[i] : 0);
  }
  // The Bitmap already stores its rows bottom-up and padded with zero bytes.
  out.insert(out.end(), bitmap.pixels().begin(), bitmap.pixels().end());
  return 0;
}

int write_bmp(File& file, const Bitmap& bitmap, const std::vector<uint8_t>& palm_indices,
              bool with_image_size) {
  std::vector<uint8_t> bytes;
  if (write_bmp(bytes, bitmap, palm_indices, with_image_size) != 0) return 1;
  // Bitmaps are at most 1 GiB (imaging/bitmap.h), so the count fits.
  const auto count = static_cast<int32_t>(bytes.size());
  return file.write(bytes.data(), count) == count ? 0 : 2;
}

}  // namespace wayfetch
