// The two PNG libraries on the same file, for bench_imaging: our decoder
// (libpng, rows shrunk as they are decoded) against libspng decoding row by
// row into the same scaler, and zlib inflating the picture's data alone (both
// libraries inflate with the system zlib, so that is the share neither can
// change). Only 8-bit RGB pictures without interlacing take the libspng
// road, the kind bench_imaging writes.
#ifndef WAYFETCH_BENCH_PNG_RACE_H
#define WAYFETCH_BENCH_PNG_RACE_H

#include <string>

#include "imaging/picture_size.h"

namespace wayfetch::bench {

struct PngRace {
  double libpng_ms = -1;   // decode and shrink with libpng (median)
  double libspng_ms = -1;  // the same with libspng (median); -1 without libspng
  double inflate_ms = -1;  // zlib inflating the IDAT data alone (median)
  bool same_pixels = false;
};

// Races the libraries on the PNG at `path`, shrinking to `target`.
PngRace race_png(const std::string& path, PictureSize target, int repeat);

}  // namespace wayfetch::bench

#endif
