#include "imaging/jpeg_reader.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "imaging/graphics_exception.h"
#include "imaging/resize.h"

// libjpeg reports fatal errors through error_exit, which must not return. Ours
// longjmps back to the guarded_* function that made the library call. Those
// functions are plain C-style code whose frames, like the library's, hold
// nothing with a destructor, so the jump skips no C++ cleanup; they return
// false and the C++ caller throws once it is back in its own frames.

namespace wayfetch {

namespace {

// Real progressive files have about ten scans; thousands of tiny scans are a
// known way to make a small file cost minutes of decoding.
constexpr int max_scans = 1000;
// Coefficient buffers of progressive files are the library's largest
// allocation; this bounds them above what the pixel limit allows anyway.
constexpr long max_library_memory = 1L << 29;
constexpr size_t source_buffer_bytes = 16384;

struct JpegErrors {
  jpeg_error_mgr pub;  // first, so the library's pointer is also ours
  std::jmp_buf jump;
  int code;
  bool too_many_scans;
  char text[JMSG_LENGTH_MAX];
};

struct JpegSource {
  jpeg_source_mgr pub;  // first, as above
  PictureInput* input;
  bool started;
  JOCTET buffer[source_buffer_bytes];
};

struct JpegDecoder {
  jpeg_decompress_struct info;
  JpegErrors errors;
  JpegSource source;
  jpeg_progress_mgr progress;
  bool created;
};

JpegErrors* errors_of(j_common_ptr info) {
  return reinterpret_cast<JpegErrors*>(info->err);
}

void on_error_exit(j_common_ptr info) {
  JpegErrors* errors = errors_of(info);
  errors->code = info->err->msg_code;
  info->err->format_message(info, errors->text);
  std::longjmp(errors->jump, 1);
}

// Warnings (corrupt data the library recovers from) are not printed.
void on_output_message(j_common_ptr) {}

void on_progress(j_common_ptr info) {
  if (!info->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > max_scans) {
    JpegErrors* errors = errors_of(info);
    errors->too_many_scans = true;
    std::longjmp(errors->jump, 1);
  }
}

// The source manager, modelled on the library's stdio source: an empty input
// is an error, an input that ends early gets a fake end-of-image marker and a
// warning, so what was decoded so far is kept.
void init_source(j_decompress_ptr) {}

boolean fill_input_buffer(j_decompress_ptr info) {
  JpegSource* source = reinterpret_cast<JpegSource*>(info->src);
  size_t n = source->input->read(source->buffer, source_buffer_bytes);
  if (n == 0) {
    if (!source->started) {
      info->err->msg_code = JERR_INPUT_EMPTY;
      info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
    }
    info->err->msg_code = JWRN_JPEG_EOF;
    info->err->emit_message(reinterpret_cast<j_common_ptr>(info), -1);
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    n = 2;
  }
  source->pub.next_input_byte = source->buffer;
  source->pub.bytes_in_buffer = n;
  source->started = true;
  return TRUE;
}

void skip_input_data(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = info->src;
  size_t remaining = static_cast<size_t>(count);
  while (remaining > source->bytes_in_buffer) {
    remaining -= source->bytes_in_buffer;
    fill_input_buffer(info);
  }
  source->next_input_byte += remaining;
  source->bytes_in_buffer -= remaining;
}

void term_source(j_decompress_ptr) {}

// ---- guarded library calls: false when the library reported an error ----

bool guarded_create(JpegDecoder* d) {
  if (setjmp(d->errors.jump) != 0) return false;
  jpeg_create_decompress(&d->info);
  d->created = true;
  return true;
}

bool guarded_read_header(JpegDecoder* d) {
  if (setjmp(d->errors.jump) != 0) return false;
  jpeg_read_header(&d->info, TRUE);
  return true;
}

bool guarded_calc_output_dimensions(JpegDecoder* d) {
  if (setjmp(d->errors.jump) != 0) return false;
  jpeg_calc_output_dimensions(&d->info);
  return true;
}

bool guarded_start(JpegDecoder* d) {
  if (setjmp(d->errors.jump) != 0) return false;
  jpeg_start_decompress(&d->info);
  return true;
}

bool guarded_read_scanlines(JpegDecoder* d, JSAMPARRAY rows, JDIMENSION count, JDIMENSION* read) {
  if (setjmp(d->errors.jump) != 0) return false;
  *read = jpeg_read_scanlines(&d->info, rows, count);
  return true;
}

// `in_header`: the error came while the markers before the first scan were
// read, where a Huffman table fails on its code count; later the library
// fails on the code lengths as it builds its decoding tables.
[[noreturn]] void throw_error(const JpegErrors& errors, bool in_header = false) {
  if (errors.too_many_scans) throw EJpegBadData("Too many scans in progressive JPEG");
  const std::string text = errors.text;
  switch (errors.code) {
    case JERR_NO_SOI:
      throw EJpegBadData("Missing SOI Marker");
    case JERR_INPUT_EMPTY:
    case JERR_INPUT_EOF:
      throw EJpegBadData("Premature end of file");
    case JERR_BAD_PRECISION:
      throw EJpegBadData("Only 8-bit data supported");
    case JERR_BAD_HUFF_TABLE:
      throw EJpegBadData(in_header ? "Huffman count > 256" : "Bad Huffman Code Length");
    case JERR_ARITH_NOTIMPL:
      throw EJpegBadData("Cannot read image - Arithmetic Coding covered by patents");
    case JERR_UNKNOWN_MARKER:
      throw EJpegBadData("Unknown, unsupported, or reserved marker encountered");
    case JERR_SOI_DUPLICATE:
    case JERR_SOF_DUPLICATE:
    case JERR_SOS_NO_SOF:
      throw EJpegBadData("Unexpected Marker");
    case JERR_BAD_DCT_COEF:
      throw EJpegValueOutOfRange();
    // The library's own consistency checks and misuse reports: no file
    // should reach them.
    case JERR_BAD_ALIGN_TYPE:
    case JERR_BAD_ALLOC_CHUNK:
    case JERR_BAD_BUFFER_MODE:
    case JERR_BAD_POOL_ID:
    case JERR_BAD_STATE:
    case JERR_BAD_STRUCT_SIZE:
    case JERR_BAD_LIB_VERSION:
    case JERR_BAD_VIRTUAL_ACCESS:
    case JERR_BUFFER_SIZE:
    case JERR_CANT_SUSPEND:
    case JERR_VIRTUAL_BUG:
    case JERR_BAD_CROP_SPEC:
    case JERR_MODE_CHANGE:
    case JERR_TOO_LITTLE_DATA:
      throw EJpegFatal("INTERNAL ERROR - " + text);
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
      throw EJpegError(text);
    default:
      throw EJpegBadData(text);
  }
}

struct DecoderDeleter {
  void operator()(JpegDecoder* d) const {
    if (d->created) jpeg_destroy_decompress(&d->info);
    delete d;
  }
};

// CMYK rows to blue, green, red. Adobe writes the inks inverted (0 = full
// ink); that is what nearly every CMYK JPEG on the web is.
void cmyk_to_bgr(const uint8_t* cmyk, uint8_t* bgr, int32_t width, bool inverted) {
  for (int32_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    bgr[0] = static_cast<uint8_t>((y * k + 127) / 255);
    bgr[1] = static_cast<uint8_t>((m * k + 127) / 255);
    bgr[2] = static_cast<uint8_t>((c * k + 127) / 255);
  }
}

}  // namespace

void decode_jpeg(PictureInput& input, Bitmap& out, const SizeRule& rule,
                 const PictureLimits& limits) {
  std::unique_ptr<JpegDecoder, DecoderDeleter> owner(new JpegDecoder{});
  JpegDecoder* d = owner.get();
  d->info.err = jpeg_std_error(&d->errors.pub);
  d->errors.pub.error_exit = on_error_exit;
  d->errors.pub.output_message = on_output_message;
  if (!guarded_create(d)) throw_error(d->errors);

  d->source.input = &input;
  d->source.pub.init_source = init_source;
  d->source.pub.fill_input_buffer = fill_input_buffer;
  d->source.pub.skip_input_data = skip_input_data;
  d->source.pub.resync_to_restart = jpeg_resync_to_restart;
  d->source.pub.term_source = term_source;
  d->info.src = &d->source.pub;
  d->progress.progress_monitor = on_progress;
  d->info.progress = &d->progress;
  d->info.mem->max_memory_to_use = max_library_memory;

  if (!guarded_read_header(d)) throw_error(d->errors, /*in_header=*/true);
  // JPEG sides are 16-bit numbers, so they fit an int32_t.
  const PictureSize full{static_cast<int32_t>(d->info.image_width),
                         static_cast<int32_t>(d->info.image_height)};
  check_picture_size(full, limits);

  // A quantisation value of 0 is not allowed by the standard; the library
  // would decode such a table anyway, into blocks of nothing.
  for (const JQUANT_TBL* table : d->info.quant_tbl_ptrs) {
    if (table == nullptr) continue;
    for (UINT16 value : table->quantval) {
      if (value == 0) throw EJpegBadData("Zero value in quantization table");
    }
  }

  const int components = d->info.num_components;
  const bool cmyk = components == 4;
  if (components != 1 && components != 3 && components != 4) {
    // Four (CMYK) is read as well; the text names what JFIF itself allows.
    throw EJpegBadData("JFIF only supports 1 and 3 component streams");
  }
  d->info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;

  PictureSize target = rule ? rule(full) : full;
  if (target.width <= 0 || target.height <= 0) target = full;

  // DCT scaling: the smallest n/8 that still gives at least the target size.
  // It skips most of the inverse transform and keeps memory small; the
  // resampler then brings the picture to the exact size.
  for (unsigned n = 1; n <= 8; ++n) {
    d->info.scale_num = n;
    d->info.scale_denom = 8;
    if (!guarded_calc_output_dimensions(d)) throw_error(d->errors);
    if (d->info.output_width >= static_cast<JDIMENSION>(target.width) &&
        d->info.output_height >= static_cast<JDIMENSION>(target.height)) {
      break;
    }
  }
  if (!guarded_start(d)) throw_error(d->errors);

  const PictureSize decoded{static_cast<int32_t>(d->info.output_width),
                            static_cast<int32_t>(d->info.output_height)};
  RowResampler resampler(decoded, target);
  const size_t stride =
      static_cast<size_t>(decoded.width) * static_cast<size_t>(d->info.output_components);
  const int batch = d->info.rec_outbuf_height > 0 ? d->info.rec_outbuf_height : 1;
  std::vector<uint8_t> buffer(stride * static_cast<size_t>(batch));
  std::vector<JSAMPROW> rows(static_cast<size_t>(batch));
  for (int i = 0; i < batch; ++i)
    rows[static_cast<size_t>(i)] = buffer.data() + stride * static_cast<size_t>(i);
  std::vector<uint8_t> bgr(cmyk ? static_cast<size_t>(decoded.width) * 3 : 0);
  const bool inverted = d->info.saw_Adobe_marker != 0;

  while (d->info.output_scanline < d->info.output_height) {
    JDIMENSION read = 0;
    if (!guarded_read_scanlines(d, rows.data(), static_cast<JDIMENSION>(batch), &read)) {
      throw_error(d->errors);
    }
    if (read == 0) break;
    for (JDIMENSION i = 0; i < read; ++i) {
      if (cmyk) {
        cmyk_to_bgr(rows[i], bgr.data(), decoded.width, inverted);
        resampler.push_row(bgr.data());
      } else {
        resampler.push_row(rows[i]);
      }
    }
  }
  // No jpeg_finish_decompress: whatever follows the image (garbage, a second
  // picture) is of no interest and must not fail a picture already decoded.
  out = resampler.finish();
}

int read_jpeg(const std::string& path, Bitmap& out) {
  PictureInput input(path);
  if (!input.is_open()) {
    out = Bitmap();
    return 1;
  }
  decode_jpeg(input, out);
  return 0;
}

}  // namespace wayfetch
