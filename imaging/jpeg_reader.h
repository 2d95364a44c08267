// The JPEG decoder: libjpeg-turbo behind the picture library's interface.
//
// Any stream libjpeg-turbo decodes is accepted: baseline, progressive and
// arithmetic-coded; JFIF, Exif or no application marker; grey, YCbCr, RGB,
// CMYK and YCCK (Adobe CMYK is stored inverted and read so). Pictures are
// delivered as 24-bit bitmaps. A stream cut short delivers what was decoded,
// the rest filled by the library.
//
// Failures throw: EJpegBadData for malformed or unsupported streams (with our
// own text where the failure has one: "Missing SOI Marker", "Premature end of
// file", "Only 8-bit data supported", "JFIF only supports 1 and 3 component
// streams" (for 2 or more than 4), "Huffman count > 256", "Zero value in quantization table", "Bad
// Huffman Code Length", "Unexpected Marker", "Unknown, unsupported, or reserved marker
// encountered"; otherwise libjpeg-turbo's), EJpegValueOutOfRange for out-of-range coefficients,
// EJpegFatal ("INTERNAL ERROR - ...") for the library's internal checks, EGraphicsException for
// sizes beyond the PictureLimits. Reentrant: each call has its own decoder.
#ifndef WAYFETCH_IMAGING_JPEG_READER_H
#define WAYFETCH_IMAGING_JPEG_READER_H

#include <string>

#include "imaging/bitmap.h"
#include "imaging/picture_input.h"
#include "imaging/picture_size.h"

namespace wayfetch {

// Reads the JPEG file at `path` into `out` at full size. Returns 0, or 1 when
// the file cannot be opened (`out` is then an empty bitmap).
int read_jpeg(const std::string& path, Bitmap& out);

// Decodes the JPEG of `input` into `out`, a 24-bit bitmap of exactly
// rule(full size) pixels (full size without a rule). When that is at most
// 7/8 of the picture, the library decodes at 1/8 .. 7/8 of the size (DCT
// scaling) and the rest is resized.
void decode_jpeg(PictureInput& input, Bitmap& out, const SizeRule& rule = {},
                 const PictureLimits& limits = {});

}  // namespace wayfetch

#endif
