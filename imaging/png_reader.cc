#include "imaging/png_reader.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/graphics_exception.h"
#include "imaging/resize.h"

// libpng reports errors through our error function, which must not return: it
// longjmps back to the guarded_* function that made the library call. Those
// are plain C-style functions holding nothing with a destructor, so the jump
// skips no C++ cleanup; they return false and the C++ caller throws.

namespace wayfetch {

namespace {

constexpr png_byte png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct PngDecoder {
  std::jmp_buf jump;
  char text[256];
  bool beyond_limits;          // a warning said the size is beyond the user limits
  png_uint_32 palette_length;  // the data length of the last PLTE chunk read
  png_structp png;
  png_infop info;
};

void on_error(png_structp png, png_const_charp message) {
  PngDecoder* d = static_cast<PngDecoder*>(png_get_error_ptr(png));
  // libpng calls a palette of a bad length just "invalid"; ours say which.
  if (message != nullptr && std::strstr(message, "PLTE") != nullptr &&
      std::strstr(message, "invalid") != nullptr) {
    message = d->palette_length % 3 != 0 ? "Palette non divisible par 3" : "Palette trop grande";
  }
  std::snprintf(d->text, sizeof d->text, "%s", message != nullptr ? message : "");
  std::longjmp(d->jump, 1);
}

// Warnings (and the errors libpng treats as harmless) are not printed. A size
// beyond our limits is only a warning before libpng's "Invalid IHDR data"
// error, so it is noted to report the real reason.
void on_warning(png_structp png, png_const_charp message) {
  if (message != nullptr && std::strstr(message, "exceeds user limit") != nullptr) {
    static_cast<PngDecoder*>(png_get_error_ptr(png))->beyond_limits = true;
  }
}

void on_read(png_structp png, png_bytep data, size_t length) {
  PictureInput* input = static_cast<PictureInput*>(png_get_io_ptr(png));
  if (input->read(data, length) != length) png_error(png, "Fin de fichier inattendue");
  // libpng reads each chunk's length and type in one go; the length of a
  // palette tells which of our texts its "invalid" error stands for.
  if (length == 8 && std::memcmp(data + 4, "PLTE", 4) == 0) {
    static_cast<PngDecoder*>(png_get_error_ptr(png))->palette_length = png_get_uint_32(data);
  }
}

struct Header {
  png_uint_32 width;
  png_uint_32 height;
  int bit_depth;
  int colour_type;
  int interlace;
};

// What the rows are to look like after libpng's transformations.
enum class Layout {
  palette,  // palette indices; 2-bit ones unpacked to one byte each
  colour,   // 8-bit grey, grey + alpha, BGR or BGRA
};

// ---- guarded library calls: false when libpng reported an error ----

bool guarded_read_info(PngDecoder* d, Header* header) {
  if (setjmp(d->jump) != 0) return false;
  png_read_info(d->png, d->info);
  png_get_IHDR(d->png, d->info, &header->width, &header->height, &header->bit_depth,
               &header->colour_type, &header->interlace, nullptr, nullptr);
  return true;
}

bool guarded_prepare(PngDecoder* d, Layout layout, int* passes) {
  if (setjmp(d->jump) != 0) return false;
  const int bit_depth = png_get_bit_depth(d->png, d->info);
  const int colour_type = png_get_color_type(d->png, d->info);
  if (layout == Layout::palette) {
    if (bit_depth == 2) png_set_packing(d->png);
  } else {
    if (bit_depth == 16) png_set_scale_16(d->png);
    if (colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(d->png);
    if (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) png_set_expand_gray_1_2_4_to_8(d->png);
    if (png_get_valid(d->png, d->info, PNG_INFO_tRNS) != 0) png_set_tRNS_to_alpha(d->png);
    png_set_bgr(d->png);
  }
  *passes = png_set_interlace_handling(d->png);
  png_read_update_info(d->png, d->info);
  return true;
}

bool guarded_read_row(PngDecoder* d, png_bytep row) {
  if (setjmp(d->jump) != 0) return false;
  png_read_row(d->png, row, nullptr);
  return true;
}

bool guarded_read_image(PngDecoder* d, png_bytepp rows) {
  if (setjmp(d->jump) != 0) return false;
  png_read_image(d->png, rows);
  return true;
}

struct DecoderDeleter {
  void operator()(PngDecoder* d) const {
    if (d->png != nullptr)
      png_destroy_read_struct(&d->png, d->info != nullptr ? &d->info : nullptr, nullptr);
    delete d;
  }
};

[[noreturn]] void throw_error(const PngDecoder& d) {
  throw EPngError(png_error_text(d.text));
}

uint8_t over_white(unsigned value, unsigned alpha) {
  return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// One transformed row (1, 2 or 4 channels of 8 bits) to blue, green, red;
// three-channel rows already are. One loop per layout keeps the per-pixel
// work free of branches.
void row_to_bgr(const uint8_t* in, uint8_t* out, png_uint_32 width, int channels) {
  switch (channels) {
    case 1:
      for (png_uint_32 x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
      break;
    case 2:
      for (png_uint_32 x = 0; x < width; ++x, in += 2, out += 3) {
        out[0] = out[1] = out[2] = over_white(in[0], in[1]);
      }
      break;
    default:
      for (png_uint_32 x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = over_white(in[0], in[3]);
        out[1] = over_white(in[1], in[3]);
        out[2] = over_white(in[2], in[3]);
      }
      break;
  }
}

// A palette picture at full size: its indices and palette, transparent
// entries blended with white.
Bitmap palette_bitmap(PngDecoder* d, const Header& header) {
  int passes = 1;
  if (!guarded_prepare(d, Layout::palette, &passes)) throw_error(*d);
  const size_t row_bytes = png_get_rowbytes(d->png, d->info);
  const int bits = header.bit_depth == 1 ? 1 : header.bit_depth == 8 ? 8 : 4;
  Bitmap bitmap(static_cast<int32_t>(header.width), static_cast<int32_t>(header.height), bits);
  const size_t expected =
      header.bit_depth == 2 ? header.width : (size_t{header.width} * bits + 7) / 8;
  if (row_bytes != expected) throw EPngError("Unexpected row size");

  std::vector<uint8_t> pixels(row_bytes * header.height);
  std::vector<png_bytep> rows(header.height);
  for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = pixels.data() + row_bytes * y;
  if (!guarded_read_image(d, rows.data())) throw_error(*d);

  for (png_uint_32 y = 0; y < header.height; ++y) {
    uint8_t* out = bitmap.row_from_top(static_cast<int32_t>(y));
    if (header.bit_depth == 2) {
      for (png_uint_32 x = 0; x < header.width; ++x) {
        out[x / 2] |= static_cast<uint8_t>((rows[y][x] & 0x0F) << ((x & 1) != 0 ? 0 : 4));
      }
    } else {
      std::memcpy(out, rows[y], row_bytes);
    }
  }

  png_colorp palette = nullptr;
  int count = 0;
  png_get_PLTE(d->png, d->info, &palette, &count);
  png_bytep alpha = nullptr;
  int alpha_count = 0;
  png_get_tRNS(d->png, d->info, &alpha, &alpha_count, nullptr);
  for (int i = 0; i < count && i < bitmap.palette_size(); ++i) {
    const unsigned a = i < alpha_count && alpha != nullptr ? alpha[i] : 255;
    PaletteEntry& entry = bitmap.palette_entry(i);
    entry.red = over_white(palette[i].red, a);
    entry.green = over_white(palette[i].green, a);
    entry.blue = over_white(palette[i].blue, a);
  }
  return bitmap;
}

Bitmap colour_bitmap(PngDecoder* d, const Header& header, PictureSize target) {
  int passes = 1;
  if (!guarded_prepare(d, Layout::colour, &passes)) throw_error(*d);
  const int channels = png_get_channels(d->png, d->info);
  const size_t row_bytes = png_get_rowbytes(d->png, d->info);
  if (channels < 1 || channels > 4 || png_get_bit_depth(d->png, d->info) != 8 ||
      row_bytes != size_t{header.width} * static_cast<size_t>(channels)) {
    throw EPngError("Unexpected row size");
  }
  const PictureSize full{static_cast<int32_t>(header.width), static_cast<int32_t>(header.height)};
  RowResampler resampler(full, target);
  std::vector<uint8_t> bgr(channels == 3 ? 0 : size_t{header.width} * 3);

  // Blue, green, red rows go to the scaler as libpng delivers them.
  const auto push = [&](const uint8_t* row) {
    if (channels == 3) {
      resampler.push_row(row);
    } else {
      row_to_bgr(row, bgr.data(), header.width, channels);
      resampler.push_row(bgr.data());
    }
  };
  if (passes == 1) {
    // Row by row: a large picture is shrunk as it is decoded and never held.
    std::vector<uint8_t> row(row_bytes);
    for (png_uint_32 y = 0; y < header.height; ++y) {
      if (!guarded_read_row(d, row.data())) throw_error(*d);
      push(row.data());
    }
  } else {
    // Interlaced rows are only complete after the last pass.
    std::vector<uint8_t> pixels(row_bytes * header.height);
    std::vector<png_bytep> rows(header.height);
    for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = pixels.data() + row_bytes * y;
    if (!guarded_read_image(d, rows.data())) throw_error(*d);
    for (png_uint_32 y = 0; y < header.height; ++y) push(rows[y]);
  }
  return resampler.finish();
}

bool contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

std::string png_error_text(const std::string& m) {
  if (contains(m, "Not a PNG file") || contains(m, "PNG file corrupted by ASCII conversion")) {
    return "Pas de signature PNG";
  }
  if (contains(m, "CRC error")) return "CRC non valide";
  if (contains(m, "Missing IHDR") || contains(m, "missing IHDR")) return "bloc IHDR manquant";
  if (contains(m, "Missing PLTE before IDAT")) return "bloc IDAT avant bloc PLTE ";
  if (contains(m, "PLTE: duplicate")) return "2 blocs PLTE";
  if (contains(m, "chunk data is too large") || contains(m, "PNG unsigned integer out of range")) {
    return "bloc trop long";
  }
  if (contains(m, "ADLER32") || contains(m, "incorrect data check")) {
    return "Erreur dans le flot Adler 32 Checksum ";
  }
  if (contains(m, "Unknown compression method") || contains(m, "incorrect header check") ||
      contains(m, "unknown compression method") || contains(m, "invalid window size")) {
    return "Type de compression non reconnu";
  }
  if (contains(m, "Fin de fichier inattendue") || contains(m, "Not enough image data") ||
      contains(m, "Truncated compressed data")) {
    return "Fin de fichier inattendue";
  }
  return m;
}

void decode_png(PictureInput& input, Bitmap& out, const SizeRule& rule,
                const PictureLimits& limits) {
  png_byte signature[8];
  if (input.read(signature, sizeof signature) != sizeof signature ||
      std::memcmp(signature, png_signature, sizeof signature) != 0) {
    throw EPngError("Pas de signature PNG");
  }
  std::unique_ptr<PngDecoder, DecoderDeleter> owner(new PngDecoder{});
  PngDecoder* d = owner.get();
  d->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, d, on_error, on_warning);
  if (d->png == nullptr) throw EPngError("Insufficient memory");
  d->info = png_create_info_struct(d->png);
  if (d->info == nullptr) throw EPngError("Insufficient memory");
  png_set_read_fn(d->png, &input, on_read);
  png_set_sig_bytes(d->png, sizeof signature);
  png_set_user_limits(d->png, static_cast<png_uint_32>(limits.max_side),
                      static_cast<png_uint_32>(limits.max_side));

  Header header{};
  if (!guarded_read_info(d, &header)) {
    if (d->beyond_limits) {
      throw EGraphicsException("Picture too large: more than " + std::to_string(limits.max_side) +
                               " pixels a side");
    }
    throw_error(*d);
  }
  const PictureSize full{static_cast<int32_t>(header.width), static_cast<int32_t>(header.height)};
  check_picture_size(full, limits);
  PictureSize target = rule ? rule(full) : full;
  if (target.width <= 0 || target.height <= 0) target = full;

  if (header.colour_type == PNG_COLOR_TYPE_PALETTE && target == full) {
    out = palette_bitmap(d, header);
  } else {
    out = colour_bitmap(d, header, target);
  }
}

int read_png(const std::string& path, Bitmap& out) {
  PictureInput input(path);
  if (!input.is_open()) {
    out = Bitmap();
    return 1;
  }
  decode_png(input, out);
  return 0;
}

}  // namespace wayfetch
