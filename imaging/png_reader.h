// The PNG decoder: libpng (with zlib) behind the picture library's interface.
//
// Every colour type and bit depth is read, interlaced or not. Palette
// pictures delivered at full size keep their palette (1, 4 or 8 bits, 2-bit
// pictures as 4 bits); everything else is delivered as a 24-bit bitmap.
// Transparency (alpha channels and tRNS) is composited over white, in the
// palette for palette pictures. 16-bit samples are scaled to 8 bits. Gamma
// and colour profiles are not applied.
//
// Failures throw EPngError, with our own text where the failure has one ("Pas
// de signature PNG", "CRC non valide", "bloc IHDR manquant", "bloc trop
// long", "Palette trop grande", "Palette non divisible par 3", "2 blocs PLTE", "bloc IDAT avant
// bloc PLTE ", "Erreur dans le flot Adler 32 Checksum ", "Type de compression non reconnu", "Fin de
// fichier inattendue") and libpng's message otherwise; EGraphicsException for sizes beyond the
// PictureLimits. Problems libpng treats as harmless (a damaged ancillary chunk, a wrong checksum
// after the last row) do not fail. Reentrant: each call has its own decoder.
#ifndef WAYFETCH_IMAGING_PNG_READER_H
#define WAYFETCH_IMAGING_PNG_READER_H

#include <string>

#include "imaging/bitmap.h"
#include "imaging/picture_input.h"
#include "imaging/picture_size.h"

namespace wayfetch {

// Reads the PNG file at `path` into `out` at full size. Returns 0, or 1 when
// the file cannot be opened (`out` is then an empty bitmap).
int read_png(const std::string& path, Bitmap& out);

// Decodes the PNG of `input` into `out`. When rule(full size) differs from
// the full size, `out` is a 24-bit bitmap of exactly that size; pictures
// that are not interlaced are shrunk row by row while they are decoded.
void decode_png(PictureInput& input, Bitmap& out, const SizeRule& rule = {},
                const PictureLimits& limits = {});

// Our text for a libpng message (the message itself when we have none).
std::string png_error_text(const std::string& library_message);

}  // namespace wayfetch

#endif
