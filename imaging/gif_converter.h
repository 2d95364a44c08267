// The GIF path of the picture records: giflib decodes, we place.
//
// The first image of the file is fitted into 220 x 280 pixels at a whole
// percent (at most 100): each pixel (x, y) is put at (x * percent / 100,
// y * percent / 100) of an 8-bit bitmap whose width is rounded up to a
// multiple of 4 and which starts filled with the background colour index.
// The palette is the image's local colour table, else the global one, else
// a grey ramp over the indices in use; the transparent colour (if any) is
// white. GIF87a, GIF89a, any aspect byte and interlaced images are read;
// an image cut short keeps the rows that were decoded.
//
// Failures throw EGraphicsException with giflib's message (a file that is not
// a GIF, no image, an image of 0 pixels, a size beyond the PictureLimits, a
// first row that cannot be decoded). Reentrant.
#ifndef WAYFETCH_IMAGING_GIF_CONVERTER_H
#define WAYFETCH_IMAGING_GIF_CONVERTER_H

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/picture_input.h"
#include "imaging/picture_size.h"

namespace wayfetch {

class File;

// The record bitmap of the GIF of `input` (8 bits, the GIF's palette).
Bitmap decode_gif_for_record(PictureInput& input, const PictureLimits& limits = {});

// Appends the picture record of the GIF of `input` to `record`: a BMP with
// a 1078-byte header whose palette entries carry their Palm index.
void convert_gif(PictureInput& input, std::vector<uint8_t>& record,
                 const PictureLimits& limits = {});
// The same for the file at `path`; returns 0, or 1 when it cannot be opened
// (nothing appended).
int convert_gif(const std::string& path, std::vector<uint8_t>& record);
// The same written straight into the open record `file` at its position;
// returns 0, 1 when the picture cannot be opened (nothing written), 2 when
// the file took fewer bytes than written.
int convert_gif(const std::string& path, File& file);

}  // namespace wayfetch

#endif
