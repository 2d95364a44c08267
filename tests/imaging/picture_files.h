// Test pictures made in code: JPEG, PNG and GIF files written with the same
// libraries the decoders use, so tests and benchmarks never depend on
// pictures from outside the project. Plus a reader for the BMP records.
#ifndef WAYFETCH_TESTS_IMAGING_PICTURE_FILES_H
#define WAYFETCH_TESTS_IMAGING_PICTURE_FILES_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace wayfetch::testing {

using Bytes = std::vector<uint8_t>;

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

// A picture as red, green, blue rows, top row first.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
  Rgb at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

RgbImage make_image(int width, int height, const std::function<Rgb(int x, int y)>& colour);
RgbImage solid_image(int width, int height, Rgb colour);
// Smooth gradients, shapes and noise: compresses and resizes like a photo.
RgbImage photo_image(int width, int height, uint32_t seed = 1);

struct JpegOptions {
  int components = 3;  // 1 grey, 2 unknown, 3 YCbCr, 4 CMYK (Adobe, stored inverted)
  int quality = 90;
  bool progressive = false;
  bool arithmetic = false;
  bool jfif = true;   // write the JFIF APP0 marker
  bool exif = false;  // write an Exif APP1 marker
};
Bytes encode_jpeg(const RgbImage& image, const JpegOptions& options = {});

struct PngOptions {
  int colour_type = 2;  // PNG colour type: 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
  int bit_depth = 8;
  bool interlaced = false;
  std::vector<Rgb> palette;                  // colour type 3
  std::vector<uint8_t> palette_alpha;        // tRNS for colour type 3
  std::optional<uint16_t> transparent_grey;  // tRNS for colour type 0
};
// `samples`: one value per channel per pixel, top row first, each in
// 0 .. 2^bit_depth - 1 (palette indices for colour type 3).
Bytes encode_png(int width, int height, const std::vector<uint16_t>& samples,
                 const PngOptions& options);
// An RGB picture as an 8-bit RGB PNG.
Bytes encode_png(const RgbImage& image, bool interlaced = false);

struct GifOptions {
  int screen_width = 0;  // 0: the image's size
  int screen_height = 0;
  std::vector<Rgb> global_table;  // empty: no global colour table
  std::vector<Rgb> local_table;   // empty: no local colour table
  int background = 0;
  bool interlaced = false;
  int transparent = -1;  // graphic control extension when >= 0
  uint8_t aspect = 0;
  int code_bits = 8;  // bits per pixel of the LZW data when there is no table
};
// `indices`: one per pixel, top row first.
Bytes encode_gif(int width, int height, const std::vector<uint8_t>& indices,
                 const GifOptions& options);

// A BMP record taken apart, with every length checked against the header.
struct BmpRecord {
  bool valid = false;
  std::string problem;
  uint32_t file_size = 0;
  uint32_t pixel_offset = 0;
  int32_t width = 0;
  int32_t height = 0;
  int bit_count = 0;
  uint32_t image_size = 0;
  std::vector<Rgb> palette;
  std::vector<uint8_t> palm_indices;  // the fourth byte of each palette entry
  Bytes pixels;                       // stored rows, bottom row first
  int row_bytes = 0;
  // Palette index of pixel (x, y), y counted from the top (8-bit records).
  uint8_t index(int x, int y) const;
  // Colour of pixel (x, y), y from the top.
  Rgb colour(int x, int y) const;
};
BmpRecord parse_bmp(const Bytes& bytes);

void write_file(const std::string& path, const Bytes& bytes);

}  // namespace wayfetch::testing

#endif
