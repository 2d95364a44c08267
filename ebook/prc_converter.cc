#include "ebook/prc_converter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "core/byte_order.h"
#include "ebook/palmdoc.h"

namespace wayfetch {
namespace {

// Every e-book carries the same creation and modification dates.
constexpr std::array<uint8_t, 4> fixed_date = {0x06, 0xD1, 0x44, 0xAE};
constexpr uint32_t first_unique_id = 0x406F8000;  // attributes 0x40, id 0x6F8000
// The record count is a 16-bit field.
constexpr int32_t max_records = 0xFFFF;
// Read and write, always created new, not shared.
constexpr uint8_t create_target_code = 0x17;

}  // namespace

bool PrcConverter::fail(std::string text) {
  failed_ = true;
  error_text_ = std::move(text);
  return false;
}

bool PrcConverter::open(int32_t image_count) {
  close();
  failed_ = false;
  error_text_.clear();
  records_done_ = 0;
  if (!source_.open(source_path_, File::read_existing)) {
    return fail("Unable to open the source file : " + source_path_);
  }
  if (!target_.open(target_path_, create_target_code)) {
    source_.close();
    return fail("Unable to create the PRC target  file : " + target_path_);
  }
  writing_ = true;
  const int64_t length = source_.size();
  // The text length and the record counts are stored in 32- and 16-bit
  // fields; a text they cannot describe is refused rather than wrapped.
  const int64_t text_records = length < 0 ? 0 : (length + record_size - 1) / record_size;
  if (length < 0 || length > std::numeric_limits<int32_t>::max() || image_count < 0 ||
      text_records + image_count + 1 > max_records) {
    return fail("Too much text or too many pictures for the PRC target file : " + target_path_);
  }
  text_length_ = static_cast<int32_t>(length);
  text_record_count_ = static_cast<int32_t>(text_records);
  image_record_count_ = image_count;
  record_count_ = text_record_count_ + image_record_count_;
  if (!write_header()) {
    return fail("Unable to write the PRC target file : " + target_path_);
  }
  return true;
}

bool PrcConverter::write_header() {
  const uint32_t n = static_cast<uint32_t>(record_count_) + 1;
  const uint32_t list_end = header_size + 8 * n + 2;
  std::vector<uint8_t> bytes(list_end + record0_size, 0);
  uint8_t* h = bytes.data();

  std::memcpy(h, title_.data(), std::min<std::size_t>(title_.size(), 31));
  std::copy(fixed_date.begin(), fixed_date.end(), h + 36);
  std::copy(fixed_date.begin(), fixed_date.end(), h + 40);
  std::memcpy(h + 60, "TEXt", 4);
  std::memcpy(h + 64, "REAd", 4);
  byte_order::put_be16(h + 76, n);

  // Offsets after record 0's are provisional: each is overwritten with the
  // true position when its record is written.
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t offset = list_end;
    if (i >= 1) offset = list_end + 16 + record_size * (i - 1);
    uint8_t* entry = h + header_size + 8 * i;
    byte_order::put_be32(entry, offset);
    byte_order::put_be32(entry + 4, first_unique_id + i);
  }

  uint8_t* record0 = h + list_end;
  byte_order::put_be16(record0, compress_ ? 2 : 1);
  byte_order::put_be32(record0 + 4, static_cast<uint32_t>(text_length_));
  byte_order::put_be16(record0 + 8, static_cast<uint32_t>(text_record_count_));
  byte_order::put_be16(record0 + 10, record_size);
  std::memset(record0 + 14, 0x0E, 199);

  if (target_.seek(0, File::Origin::start) != 0) return false;
  const auto size = static_cast<int32_t>(bytes.size());
  return target_.write(bytes.data(), size) == size;
}

bool PrcConverter::next_text_record() {
  if (failed_ || !writing_ || !source_.is_open() || records_done_ >= text_record_count_) {
    return false;
  }
  const int32_t expected = std::min(record_size, text_length_ - records_done_ * record_size);
  std::array<uint8_t, record_size> text{};
  const int32_t got = source_.read(text.data(), expected);
  if (got != expected) {
    // The source changed under us; the record list already promises the
    // records, so the file cannot be finished.
    source_.close();
    target_.close();
    return fail("Unable to read the source file : " + source_path_);
  }
  if (!write_text_record(text.data(), got, records_done_)) return false;
  ++records_done_;
  return true;
}

bool PrcConverter::add_image(const std::string& picture_path) {
  if (failed_ || !writing_) return false;
  if (records_done_ < text_record_count_ || records_done_ >= record_count_) {
    return fail("Unexpected picture for the PRC target file : " + picture_path);
  }
  if (!write_image_record(picture_path, records_done_)) return false;
  ++records_done_;
  return true;
}

bool PrcConverter::write_text_record(const uint8_t* bytes, int32_t length, int32_t index) {
  if (index < 0 || index >= text_record_count_ || length < 0 || length > record_size ||
      (bytes == nullptr && length > 0)) {
    return fail("Invalid text record for the PRC target file : " + target_path_);
  }
  RecordBuffer record(bytes, length);
  if (compress_) wayfetch::compress(record);
  return write_record(record.bytes(), index);
}

bool PrcConverter::write_image_record(const std::string& picture_path, int32_t index) {
  if (index < text_record_count_ || index >= record_count_) {
    return fail("Unexpected picture for the PRC target file : " + picture_path);
  }
  if (pictures_ == nullptr) {
    return fail("No picture converter for the picture : " + picture_path);
  }
  std::vector<uint8_t> bitmap;
  std::string why;
  if (!pictures_->make_record(picture_path, bitmap, why)) {
    return fail(why.empty() ? "Unable to convert the picture : " + picture_path : why);
  }
  return write_record(bitmap, index);
}

bool PrcConverter::write_record(std::span<const uint8_t> bytes, int32_t index) {
  if (failed_ || !target_.is_open()) return false;
  const std::string write_error = "Unable to write the PRC target file : " + target_path_;
  const int64_t end = target_.seek(0, File::Origin::end);
  if (end < 0 || end + static_cast<int64_t>(bytes.size()) > std::numeric_limits<uint32_t>::max()) {
    return fail(write_error);
  }
  // The record list entry of record index + 1 sits at 86 + 8 * index.
  std::array<uint8_t, 4> offset{};
  byte_order::put_be32(offset.data(), static_cast<uint32_t>(end));
  const int64_t entry = header_size + 8 * (static_cast<int64_t>(index) + 1);
  if (target_.seek(entry, File::Origin::start) != entry || target_.write(offset.data(), 4) != 4) {
    return fail(write_error);
  }
  const auto size = static_cast<int32_t>(bytes.size());
  if (target_.seek(end, File::Origin::start) != end ||
      (size > 0 && target_.write(bytes.data(), size) != size)) {
    return fail(write_error);
  }
  if (progress_ != nullptr) {
    std::fprintf(progress_, "\rconverting record %d of %d", index + 1, record_count_);
    std::fflush(progress_);
  }
  return true;
}

bool PrcConverter::close() {
  bool ok = !failed_;
  if (writing_ && ok && records_done_ != record_count_) {
    ok = fail("The PRC target file is incomplete : " + target_path_);
  }
  writing_ = false;
  source_.close();
  target_.close();
  import_offsets_.clear();
  return ok;
}

}  // namespace wayfetch
