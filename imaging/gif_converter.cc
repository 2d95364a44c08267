#include "imaging/gif_converter.h"

#include <gif_lib.h>

#include <algorithm>
#include <memory>
#include <string>

#include "core/file.h"
#include "imaging/bmp_writer.h"
#include "imaging/graphics_exception.h"

namespace wayfetch {

namespace {

int on_read(GifFileType* gif, GifByteType* buffer, int length) {
  if (length <= 0) return 0;
  PictureInput* input = static_cast<PictureInput*>(gif->UserData);
  return static_cast<int>(input->read(buffer, static_cast<size_t>(length)));
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int ignored = 0;
    DGifCloseFile(gif, &ignored);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

[[noreturn]] void throw_gif_error(int code) {
  const char* text = GifErrorString(code);
  throw EGraphicsException(text != nullptr ? text : "GIF error " + std::to_string(code));
}

// The rows of an image in the order its data stores them: interlaced images
// come in four passes (every 8th row from 0, every 8th from 4, every 4th from
// 2, every 2nd from 1).
std::vector<int32_t> stored_row_order(int32_t height, bool interlaced) {
  std::vector<int32_t> order;
  order.reserve(static_cast<size_t>(height));
  if (!interlaced) {
    for (int32_t y = 0; y < height; ++y) order.push_back(y);
    return order;
  }
  static constexpr int32_t start[4] = {0, 4, 2, 1};
  static constexpr int32_t step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int32_t y = start[pass]; y < height; y += step[pass]) order.push_back(y);
  }
  return order;
}

// Reads records up to the first image descriptor, noting the transparent
// colour of a graphic control extension on the way. Returns that colour or -1.
int skip_to_image(GifFileType* gif) {
  int transparent = -1;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) throw_gif_error(gif->Error);
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageHeader(gif) == GIF_ERROR) throw_gif_error(gif->Error);
      return transparent;
    }
    if (type == TERMINATE_RECORD_TYPE) throw EGraphicsException("GIF file has no image");
    if (type != EXTENSION_RECORD_TYPE) throw_gif_error(D_GIF_ERR_WRONG_RECORD);
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) throw_gif_error(gif->Error);
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
      GraphicsControlBlock control{};
      if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
        transparent = control.TransparentColor;
      }
    }
    while (block != nullptr) {
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) throw_gif_error(gif->Error);
    }
  }
}

}  // namespace

Bitmap decode_gif_for_record(PictureInput& input, const PictureLimits& limits) {
  int error = 0;
  GifHandle gif(DGifOpen(&input, on_read, &error));
  if (!gif) throw_gif_error(error);
  const int transparent = skip_to_image(gif.get());

  const GifImageDesc& image = gif->Image;
  const PictureSize full{image.Width, image.Height};
  check_picture_size(full, limits);
  const int32_t percent = gif_scale_percent(full);
  const PictureSize size = gif_record_size(full, percent);
  Bitmap bitmap(size.width, size.height, 8);
  for (int32_t y = 0; y < size.height; ++y) {
    std::fill_n(bitmap.row(y), size.width, static_cast<uint8_t>(gif->SBackGroundColor));
  }

  // Where each source column lands; positions are clamped so that no pixel
  // can fall outside the bitmap whatever the rounding.
  std::vector<int32_t> column(static_cast<size_t>(full.width));
  for (int32_t x = 0; x < full.width; ++x) {
    column[static_cast<size_t>(x)] =
        std::min<int32_t>(size.width - 1, static_cast<int32_t>(int64_t{x} * percent / 100));
  }
  std::vector<GifPixelType> line(static_cast<size_t>(full.width));
  const std::vector<int32_t> order = stored_row_order(full.height, image.Interlace);
  int highest_index = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    if (DGifGetLine(gif.get(), line.data(), full.width) == GIF_ERROR) {
      // A file cut short keeps the rows decoded so far, as browsers show it.
      if (i == 0) throw_gif_error(gif->Error);
      break;
    }
    const int32_t y =
        std::min<int32_t>(size.height - 1, static_cast<int32_t>(int64_t{order[i]} * percent / 100));
    uint8_t* out = bitmap.row_from_top(y);
    for (int32_t x = 0; x < full.width; ++x) {
      out[column[static_cast<size_t>(x)]] = line[static_cast<size_t>(x)];
      highest_index = std::max<int>(highest_index, line[static_cast<size_t>(x)]);
    }
  }

  const ColorMapObject* table = image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap;
  if (table != nullptr && table->Colors != nullptr) {
    for (int i = 0; i < table->ColorCount && i < 256; ++i) {
      PaletteEntry& entry = bitmap.palette_entry(i);
      entry.red = table->Colors[i].Red;
      entry.green = table->Colors[i].Green;
      entry.blue = table->Colors[i].Blue;
    }
  } else {
    // No colour table at all: the decoder may choose. A grey ramp from black
    // to white over the indices in use shows two-colour images as expected.
    for (int i = 0; i <= highest_index; ++i) {
      const uint8_t grey = static_cast<uint8_t>(highest_index == 0 ? 0 : i * 255 / highest_index);
      bitmap.palette_entry(i) = {grey, grey, grey};
    }
  }
  // Transparent pixels are shown over white, as transparent PNGs are.
  if (transparent >= 0 && transparent < 256) bitmap.palette_entry(transparent) = {255, 255, 255};
  return bitmap;
}

void convert_gif(PictureInput& input, std::vector<uint8_t>& record, const PictureLimits& limits) {
  const Bitmap bitmap = decode_gif_for_record(input, limits);
  write_bmp(record, bitmap, palm_indices_of(bitmap), /*with_image_size=*/true);
}

int convert_gif(const std::string& path, std::vector<uint8_t>& record) {
  PictureInput input(path);
  if (!input.is_open()) return 1;
  convert_gif(input, record);
  return 0;
}

int convert_gif(const std::string& path, File& file) {
  PictureInput input(path);
  if (!input.is_open()) return 1;
  const Bitmap bitmap = decode_gif_for_record(input);
  return write_bmp(file, bitmap, palm_indices_of(bitmap), /*with_image_size=*/true) == 0 ? 0 : 2;
}

}  // namespace wayfetch
