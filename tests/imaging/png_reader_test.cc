#include "imaging/png_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "imaging/graphics_exception.h"
#include "tests/imaging/picture_files.h"
#include "tests/support/temp_dir.h"

namespace wayfetch {
namespace {

using testing::Bytes;
using testing::PngOptions;
using testing::Rgb;

Bitmap decode(const Bytes& bytes, const SizeRule& rule = {}, const PictureLimits& limits = {}) {
  PictureInput input(bytes.data(), bytes.size());
  Bitmap out;
  decode_png(input, out, rule, limits);
  return out;
}

Rgb pixel(const Bitmap& b, int x, int y) {
  const uint8_t* row = b.row_from_top(y);
  if (b.bit_count() == 24) return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
  const PaletteEntry& e = b.palette_entry(Bitmap::index_at(row, x, b.bit_count()));
  return {e.red, e.green, e.blue};
}

// ---- chunk surgery: PNG files taken apart and put back with valid CRCs ----

struct Chunk {
  std::string type;
  Bytes data;
};

std::vector<Chunk> chunks_of(const Bytes& png) {
  std::vector<Chunk> chunks;
  for (size_t at = 8; at + 12 <= png.size();) {
    const size_t length =
        size_t{png[at]} << 24 | size_t{png[at + 1]} << 16 | size_t{png[at + 2]} << 8 | png[at + 3];
    chunks.push_back({std::string(png.begin() + at + 4, png.begin() + at + 8),
                      Bytes(png.begin() + at + 8, png.begin() + at + 8 + length)});
    at += 12 + length;
  }
  return chunks;
}

void put32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

Bytes join(const std::vector<Chunk>& chunks) {
  Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const Chunk& c : chunks) {
    put32(out, static_cast<uint32_t>(c.data.size()));
    Bytes body(c.type.begin(), c.type.end());
    body.insert(body.end(), c.data.begin(), c.data.end());
    out.insert(out.end(), body.begin(), body.end());
    put32(out, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
  }
  return out;
}

size_t find_chunk(const std::vector<Chunk>& chunks, const std::string& type) {
  for (size_t i = 0; i < chunks.size(); ++i) {
    if (chunks[i].type == type) return i;
  }
  return chunks.size();
}

// ---- pictures of every colour type ----

struct Format {
  int colour_type;
  int bit_depth;
};

int channels_of(int colour_type) {
  return colour_type == 0 || colour_type == 3 ? 1 : colour_type == 4 ? 2 : colour_type == 2 ? 3 : 4;
}

// Sample c of pixel (x, y) at the format's depth (opaque alpha).
uint16_t sample(const Format& f, int x, int y, int c) {
  const int levels = f.bit_depth == 16 ? 256 : 1 << f.bit_depth;
  const bool alpha = (f.colour_type == 4 && c == 1) || (f.colour_type == 6 && c == 3);
  int v = alpha ? levels - 1 : (x * 3 + y * 5 + c * 7) % levels;
  return static_cast<uint16_t>(f.bit_depth == 16 ? v * 257 : v);
}

std::vector<Rgb> test_palette(int entries) {
  std::vector<Rgb> palette;
  for (int i = 0; i < entries; ++i) {
    palette.push_back({static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i),
                       static_cast<uint8_t>(i * 11)});
  }
  return palette;
}

Rgb expected_colour(const Format& f, int x, int y) {
  auto to8 = [&f](int v) {
    return static_cast<uint8_t>(f.bit_depth == 16 ? v / 257 : v * 255 / ((1 << f.bit_depth) - 1));
  };
  switch (f.colour_type) {
    case 0:
    case 4: {
      const uint8_t g = to8(sample(f, x, y, 0));
      return {g, g, g};
    }
    case 3:
      return test_palette(1 << f.bit_depth)[sample(f, x, y, 0)];
    default:
      return {to8(sample(f, x, y, 0)), to8(sample(f, x, y, 1)), to8(sample(f, x, y, 2))};
  }
}

Bytes picture(const Format& f, int width, int height, bool interlaced) {
  std::vector<uint16_t> samples;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < channels_of(f.colour_type); ++c) samples.push_back(sample(f, x, y, c));
    }
  }
  PngOptions options;
  options.colour_type = f.colour_type;
  options.bit_depth = f.bit_depth;
  options.interlaced = interlaced;
  if (f.colour_type == 3) options.palette = test_palette(1 << f.bit_depth);
  return testing::encode_png(width, height, samples, options);
}

TEST(PngReaderTest, EveryColourTypeAndBitDepth) {
  const Format formats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                            {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  for (const Format& f : formats) {
    for (bool interlaced : {false, true}) {
      SCOPED_TRACE("type " + std::to_string(f.colour_type) + " depth " +
                   std::to_string(f.bit_depth) + (interlaced ? " interlaced" : ""));
      const Bitmap b = decode(picture(f, 11, 9, interlaced));
      ASSERT_EQ(b.width(), 11);
      ASSERT_EQ(b.height(), 9);
      // Palette pictures keep their palette: 2-bit ones as 4 bits.
      const int bits = f.colour_type != 3 ? 24 : f.bit_depth == 2 ? 4 : f.bit_depth;
      EXPECT_EQ(b.bit_count(), bits);
      for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 11; ++x)
          ASSERT_EQ(pixel(b, x, y), expected_colour(f, x, y)) << x << "," << y;
      }
    }
  }
}

uint8_t over_white(int value, int alpha) {
  return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

TEST(PngReaderTest, TransparencyIsCompositedOverWhite) {
  // RGBA and grey + alpha.
  PngOptions rgba;
  rgba.colour_type = 6;
  Bitmap b =
      decode(testing::encode_png(3, 1, {200, 0, 0, 0, 200, 0, 0, 128, 0, 0, 200, 255}, rgba));
  EXPECT_EQ(pixel(b, 0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(pixel(b, 1, 0), (Rgb{over_white(200, 128), over_white(0, 128), over_white(0, 128)}));
  EXPECT_EQ(pixel(b, 2, 0), (Rgb{0, 0, 200}));
  PngOptions grey_alpha;
  grey_alpha.colour_type = 4;
  b = decode(testing::encode_png(2, 1, {10, 0, 10, 64}, grey_alpha));
  EXPECT_EQ(pixel(b, 0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(pixel(b, 1, 0).green, over_white(10, 64));

  // A palette with tRNS: the transparent entries become white in the palette.
  PngOptions palette;
  palette.colour_type = 3;
  palette.palette = {{255, 0, 0}, {0, 0, 255}};
  palette.palette_alpha = {0, 128};
  b = decode(testing::encode_png(2, 1, {0, 1}, palette));
  EXPECT_EQ(b.bit_count(), 8);
  EXPECT_EQ(pixel(b, 0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(pixel(b, 1, 0), (Rgb{over_white(0, 128), over_white(0, 128), 255}));

  // A transparent grey level.
  PngOptions grey;
  grey.colour_type = 0;
  grey.bit_depth = 16;
  grey.transparent_grey = 1000;
  b = decode(testing::encode_png(2, 1, {1000, 257 * 40}, grey));
  EXPECT_EQ(pixel(b, 0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(pixel(b, 1, 0), (Rgb{40, 40, 40}));
}

TEST(PngReaderTest, ShrinksWhileDecoding) {
  for (bool interlaced : {false, true}) {
    const testing::RgbImage image = testing::make_image(400, 300, [](int x, int) {
      return x < 200 ? Rgb{250, 10, 10} : Rgb{10, 250, 10};
    });
    const Bitmap b = decode(testing::encode_png(image, interlaced), record_size);
    ASSERT_EQ(b.width(), 262) << interlaced;  // four steps: 0.9^4
    ASSERT_EQ(b.height(), 196);
    EXPECT_EQ(pixel(b, 10, 100), (Rgb{250, 10, 10}));
    EXPECT_EQ(pixel(b, 250, 100), (Rgb{10, 250, 10}));
  }
  // Palette pictures that are resized come out as 24 bits.
  EXPECT_EQ(decode(picture({3, 8}, 300, 300, false), record_size).bit_count(), 24);
}

std::string error_of(const Bytes& bytes) {
  try {
    decode(bytes);
  } catch (const EPngError& e) {
    return e.message();
  }
  return "(no EPngError)";
}

TEST(PngReaderTest, DamagedFilesThrowWithTheirMessages) {
  const Bytes good = picture({3, 8}, 8, 8, false);
  const std::vector<Chunk> chunks = chunks_of(good);
  const size_t ihdr = find_chunk(chunks, "IHDR"), plte = find_chunk(chunks, "PLTE"),
               idat = find_chunk(chunks, "IDAT");
  ASSERT_LT(idat, chunks.size());

  Bytes bad_signature = good;
  bad_signature[1] = 'Q';
  Bytes bad_crc = good;
  bad_crc[8 + 8 + 2] ^= 1;  // a byte of IHDR's width
  Bytes truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() - 20));
  auto no_ihdr = chunks;
  no_ihdr.erase(no_ihdr.begin() + static_cast<std::ptrdiff_t>(ihdr));
  auto late_plte = chunks;
  std::swap(late_plte[plte], late_plte[idat]);
  auto two_plte = chunks;
  two_plte.insert(two_plte.begin() + static_cast<std::ptrdiff_t>(plte), chunks[plte]);
  auto bad_zlib = chunks;
  bad_zlib[idat].data[0] = 0x79;                                          // compression method 9
  bad_zlib[idat].data[1] = static_cast<uint8_t>(31 - (0x79 * 256) % 31);  // keep the header check

  auto bad_adler = chunks;
  bad_adler[idat].data.back() ^= 1;
  Bytes too_long = join(chunks);
  too_long[8 + 25] = 0x80;  // the length of the chunk after IHDR beyond 2^31

  EXPECT_EQ(error_of(bad_signature), "Pas de signature PNG");
  EXPECT_EQ(error_of(join(bad_adler)), "Erreur dans le flot Adler 32 Checksum ");
  EXPECT_EQ(error_of(too_long), "bloc trop long");
  EXPECT_EQ(error_of(Bytes{}), "Pas de signature PNG");
  EXPECT_EQ(error_of(bad_crc), "CRC non valide");
  EXPECT_EQ(error_of(truncated), "Fin de fichier inattendue");
  EXPECT_EQ(error_of(join(no_ihdr)), "bloc IHDR manquant");
  EXPECT_EQ(error_of(join(late_plte)), "bloc IDAT avant bloc PLTE ");
  EXPECT_EQ(error_of(join(two_plte)), "2 blocs PLTE");
  EXPECT_EQ(error_of(join(bad_zlib)), "Type de compression non reconnu");

  auto palette_of_4_bytes = chunks;
  palette_of_4_bytes[plte].data.resize(4);
  auto palette_of_257 = chunks;
  palette_of_257[plte].data.resize(3 * 257);
  auto palette_of_1000 = chunks;
  palette_of_1000[plte].data.resize(1000);
  EXPECT_EQ(error_of(join(palette_of_4_bytes)), "Palette non divisible par 3");
  EXPECT_EQ(error_of(join(palette_of_257)), "Palette trop grande");
  EXPECT_EQ(error_of(join(palette_of_1000)), "Palette non divisible par 3");
}

TEST(PngReaderTest, HugeDeclaredSizesAreRefusedBeforeDecoding) {
  for (uint32_t side : {20000u, 10000u}) {  // beyond a side; beyond 64 megapixels
    auto chunks = chunks_of(picture({2, 8}, 8, 8, false));
    chunks[0].data[0] = chunks[0].data[4] = static_cast<uint8_t>(side >> 24);
    chunks[0].data[1] = chunks[0].data[5] = static_cast<uint8_t>(side >> 16);
    chunks[0].data[2] = chunks[0].data[6] = static_cast<uint8_t>(side >> 8);
    chunks[0].data[3] = chunks[0].data[7] = static_cast<uint8_t>(side);
    try {
      decode(join(chunks));
      ADD_FAILURE() << "no exception";
    } catch (const EPngError& e) {
      ADD_FAILURE() << "a size problem, not a file problem: " << e.message();
    } catch (const EGraphicsException& e) {
      EXPECT_NE(e.message().find("too large"), std::string::npos) << e.message();
    }
  }
}

TEST(PngReaderTest, ReadPngFromFiles) {
  testing::TempDir dir;
  Bitmap b;
  EXPECT_EQ(read_png(dir.file("missing.png"), b), 1);
  testing::write_file(dir.file("a.png"), picture({2, 8}, 5, 4, false));
  EXPECT_EQ(read_png(dir.file("a.png"), b), 0);
  EXPECT_EQ(b.height(), 4);
}

}  // namespace
}  // namespace wayfetch
