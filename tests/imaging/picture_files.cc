#include "tests/imaging/picture_files.h"

#include <gif_lib.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <jpeglib.h>

namespace wayfetch::testing {

RgbImage make_image(int width, int height, const std::function<Rgb(int x, int y)>& colour) {
  RgbImage image{width, height, {}};
  image.pixels.reserve(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.pixels.push_back(colour(x, y));
  }
  return image;
}

RgbImage solid_image(int width, int height, Rgb colour) {
  return make_image(width, height, [colour](int, int) { return colour; });
}

RgbImage photo_image(int width, int height, uint32_t seed) {
  uint32_t state = seed * 2654435761u + 1;
  auto noise = [&state]() {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>(state >> 27) - 16;  // -16 .. 15
  };
  auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  return make_image(width, height, [&](int x, int y) {
    const int fx = x * 256 / width;
    const int fy = y * 256 / height;
    int r = fx, g = fy, b = 255 - (fx + fy) / 2;
    const int dx = x - width / 3, dy = y - height / 2;
    if (int64_t{dx} * dx + int64_t{dy} * dy < int64_t{height} * height / 16) {
      r = 230, g = 180, b = 40;  // a disc
    }
    if ((x / (width / 8 + 1) + y / (height / 6 + 1)) % 5 == 0) g = 255 - g;  // blocks
    return Rgb{clamp(r + noise()), clamp(g + noise()), clamp(b + noise())};
  });
}

Bytes encode_jpeg(const RgbImage& image, const JpegOptions& options) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  info.input_components = options.components;
  info.in_color_space = options.components == 1   ? JCS_GRAYSCALE
                        : options.components == 4 ? JCS_CMYK
                        : options.components == 3 ? JCS_RGB
                                                  : JCS_UNKNOWN;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, options.quality, TRUE);
  if (options.progressive) jpeg_simple_progression(&info);
  if (options.arithmetic) info.arith_code = TRUE;
  info.write_JFIF_header = options.jfif ? TRUE : FALSE;
  jpeg_start_compress(&info, TRUE);
  if (options.exif) {
    static const unsigned char exif[] = "Exif\0\0MM\0*\0\0\0\x08\0\0";
    jpeg_write_marker(&info, JPEG_APP0 + 1, exif, sizeof exif - 1);
  }
  std::vector<uint8_t> row(static_cast<size_t>(image.width) * options.components);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const Rgb c = image.at(x, y);
      uint8_t* p = row.data() + static_cast<size_t>(x) * options.components;
      if (options.components == 1) {
        p[0] = static_cast<uint8_t>((c.red * 299 + c.green * 587 + c.blue * 114) / 1000);
      } else if (options.components == 3) {
        p[0] = c.red, p[1] = c.green, p[2] = c.blue;
      } else if (options.components == 2) {
        p[0] = c.red, p[1] = c.green;
      } else {
        // Inverted CMYK as Adobe writes it: with K = 0 ink, the stored
        // values are the colour itself.
        p[0] = c.red, p[1] = c.green, p[2] = c.blue, p[3] = 255;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  Bytes bytes(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return bytes;
}

namespace {

void png_append(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void png_no_flush(png_structp) {}

}  // namespace

Bytes encode_png(int width, int height, const std::vector<uint16_t>& samples,
                 const PngOptions& options) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("png encoding failed");
  png_set_write_fn(png, &out, png_append, png_no_flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
               options.bit_depth, options.colour_type,
               options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (options.colour_type == PNG_COLOR_TYPE_PALETTE) {
    std::vector<png_color> palette;
    for (const Rgb& c : options.palette) palette.push_back({c.red, c.green, c.blue});
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!options.palette_alpha.empty()) {
      png_set_tRNS(png, info, options.palette_alpha.data(),
                   static_cast<int>(options.palette_alpha.size()), nullptr);
    }
  }
  if (options.transparent_grey) {
    png_color_16 colour{};
    colour.gray = *options.transparent_grey;
    png_set_tRNS(png, info, nullptr, 0, &colour);
  }
  png_write_info(png, info);
  const int channels = options.colour_type == 0 || options.colour_type == 3 ? 1
                       : options.colour_type == 4                           ? 2
                       : options.colour_type == 2                           ? 3
                                                                            : 4;
  const size_t per_row = static_cast<size_t>(width) * channels;
  const size_t row_bytes = (per_row * options.bit_depth + 7) / 8;
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(height),
                                         std::vector<uint8_t>(row_bytes, 0));
  for (int y = 0; y < height; ++y) {
    for (size_t k = 0; k < per_row; ++k) {
      const uint16_t v = samples[static_cast<size_t>(y) * per_row + k];
      auto& row = rows[static_cast<size_t>(y)];
      if (options.bit_depth == 16) {
        row[2 * k] = static_cast<uint8_t>(v >> 8);
        row[2 * k + 1] = static_cast<uint8_t>(v);
      } else if (options.bit_depth == 8) {
        row[k] = static_cast<uint8_t>(v);
      } else {
        const size_t bit = k * options.bit_depth;
        row[bit / 8] |= static_cast<uint8_t>(v << (8 - options.bit_depth - bit % 8));
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes encode_png(const RgbImage& image, bool interlaced) {
  std::vector<uint16_t> samples;
  samples.reserve(image.pixels.size() * 3);
  for (const Rgb& c : image.pixels) {
    samples.push_back(c.red);
    samples.push_back(c.green);
    samples.push_back(c.blue);
  }
  PngOptions options;
  options.interlaced = interlaced;
  return encode_png(image.width, image.height, samples, options);
}

namespace {

int gif_append(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<Bytes*>(gif->UserData);
  out->insert(out->end(), data, data + length);
  return length;
}

ColorMapObject* make_map(const std::vector<Rgb>& colours) {
  int size = 2;
  while (size < static_cast<int>(colours.size())) size *= 2;
  std::vector<GifColorType> entries(static_cast<size_t>(size));
  for (size_t i = 0; i < colours.size(); ++i) {
    entries[i] = {colours[i].red, colours[i].green, colours[i].blue};
  }
  return GifMakeMapObject(size, entries.data());
}

}  // namespace

Bytes encode_gif(int width, int height, const std::vector<uint8_t>& indices,
                 const GifOptions& options) {
  Bytes out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, gif_append, &error);
  EGifSetGifVersion(gif, true);
  // giflib refuses to write an image without any colour table: such files
  // are written with a global table that is cut out afterwards.
  const bool no_table = options.global_table.empty() && options.local_table.empty();
  std::vector<Rgb> global_table = options.global_table;
  if (no_table) global_table.assign(size_t{1} << options.code_bits, Rgb{});
  ColorMapObject* global = global_table.empty() ? nullptr : make_map(global_table);
  ColorMapObject* local = options.local_table.empty() ? nullptr : make_map(options.local_table);
  const int bits = global != nullptr ? global->BitsPerPixel : local->BitsPerPixel;
  EGifPutScreenDesc(gif, options.screen_width > 0 ? options.screen_width : width,
                    options.screen_height > 0 ? options.screen_height : height, bits,
                    options.background, global);
  if (options.transparent >= 0) {
    GraphicsControlBlock control{};
    control.TransparentColor = options.transparent;
    GifByteType block[4];
    EGifGCBToExtension(&control, block);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
  }
  EGifPutImageDesc(gif, 0, 0, width, height, options.interlaced, local);
  std::vector<int> order;
  if (options.interlaced) {
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = start[pass]; y < height; y += step[pass]) order.push_back(y);
    }
  } else {
    for (int y = 0; y < height; ++y) order.push_back(y);
  }
  std::vector<GifPixelType> line(static_cast<size_t>(width));
  for (int y : order) {
    std::memcpy(line.data(), indices.data() + static_cast<size_t>(y) * width, line.size());
    EGifPutLine(gif, line.data(), width);
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(global);
  GifFreeMapObject(local);
  if (no_table) {
    out[10] &= 0x7F;
    out.erase(out.begin() + 13, out.begin() + 13 + 3 * (1 << options.code_bits));
  }
  // The aspect byte is the last byte of the logical screen descriptor.
  if (out.size() > 12) out[12] = options.aspect;
  return out;
}

namespace {

uint32_t le32(const Bytes& b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}

uint16_t le16(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

BmpRecord parse_bmp(const Bytes& b) {
  BmpRecord r;
  auto fail = [&r](const std::string& why) {
    r.problem = why;
    return r;
  };
  if (b.size() < 54) return fail("shorter than the headers");
  if (b[0] != 'B' || b[1] != 'M') return fail("no BM");
  r.file_size = le32(b, 2);
  if (r.file_size != b.size()) return fail("file size field differs from the size");
  r.pixel_offset = le32(b, 10);
  if (le32(b, 14) != 40) return fail("information header is not 40 bytes");
  r.width = static_cast<int32_t>(le32(b, 18));
  r.height = static_cast<int32_t>(le32(b, 22));
  if (le16(b, 26) != 1) return fail("planes");
  r.bit_count = le16(b, 28);
  if (le32(b, 30) != 0) return fail("compressed");
  r.image_size = le32(b, 34);
  if (r.width <= 0 || r.height <= 0) return fail("a side is 0 or negative");
  if (r.bit_count != 1 && r.bit_count != 4 && r.bit_count != 8 && r.bit_count != 24) {
    return fail("bit count");
  }
  const size_t entries = r.bit_count == 24 ? 0 : size_t{1} << r.bit_count;
  if (r.pixel_offset != 54 + 4 * entries) return fail("pixel offset");
  for (size_t i = 0; i < entries; ++i) {
    r.palette.push_back({b[54 + 4 * i + 2], b[54 + 4 * i + 1], b[54 + 4 * i]});
    r.palm_indices.push_back(b[54 + 4 * i + 3]);
  }
  r.row_bytes = (r.width * r.bit_count + 31) / 32 * 4;
  if (b.size() - r.pixel_offset != static_cast<size_t>(r.row_bytes) * r.height) {
    return fail("pixel bytes differ from rows x height");
  }
  if (r.image_size != 0 && r.image_size != b.size() - r.pixel_offset) return fail("image size");
  r.pixels.assign(b.begin() + r.pixel_offset, b.end());
  r.valid = true;
  return r;
}

uint8_t BmpRecord::index(int x, int y) const {
  const uint8_t* row = pixels.data() + static_cast<size_t>(height - 1 - y) * row_bytes;
  switch (bit_count) {
    case 1:
      return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4:
      return x % 2 != 0 ? row[x / 2] & 15 : row[x / 2] >> 4;
    default:
      return row[x];
  }
}

Rgb BmpRecord::colour(int x, int y) const {
  if (bit_count == 24) {
    const uint8_t* p = pixels.data() + static_cast<size_t>(height - 1 - y) * row_bytes + 3 * x;
    return {p[2], p[1], p[0]};
  }
  return palette[index(x, y)];
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace wayfetch::testing
