// The import side of PrcConverter: reading the text of an existing PalmDOC
// file. Every number read from the file is checked against the file's size
// before it is used, so damaged or hostile files are refused, never trusted.
#include <algorithm>
#include <array>
#include <cstring>

#include "core/byte_order.h"
#include "ebook/palmdoc.h"
#include "ebook/prc_converter.h"

namespace wayfetch {

bool PrcConverter::open_import() {
  close();
  failed_ = false;
  error_text_.clear();
  text_record_count_ = 0;
  record_count_ = 0;
  image_record_count_ = 0;
  const std::string invalid =
      "Error: unable to import the PRC File: " + source_path_ + ", not a valid DOC format";
  const std::string damaged =
      "Error: unable to import the PRC File: " + source_path_ + ", the file is damaged";
  if (!source_.open(source_path_, File::read_existing)) {
    return fail("Unable to open the source file : " + source_path_);
  }
  import_size_ = source_.size();
  std::array<uint8_t, header_size> header{};
  if (import_size_ < header_size || source_.seek(0, File::Origin::start) != 0 ||
      source_.read(header.data(), header_size) != header_size) {
    source_.close();
    return fail(invalid);
  }
  if (std::memcmp(header.data() + 60, "TEXt", 4) != 0 ||
      std::memcmp(header.data() + 64, "REAd", 4) != 0) {
    source_.close();
    return fail(invalid);
  }
  const auto n = static_cast<int32_t>(byte_order::get_be16(header.data() + 76));
  // Record 0 must exist and the whole record list must lie inside the file.
  if (n == 0 || header_size + 8 * static_cast<int64_t>(n) > import_size_) {
    source_.close();
    return fail(n == 0 ? invalid : damaged);
  }
  std::vector<uint8_t> list(static_cast<std::size_t>(8 * n));
  if (source_.read(list.data(), 8 * n) != 8 * n) {
    source_.close();
    return fail(damaged);
  }
  import_offsets_.resize(static_cast<std::size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    import_offsets_[static_cast<std::size_t>(i)] =
        byte_order::get_be32(list.data() + 8 * static_cast<std::size_t>(i));
  }
  const auto name_end = std::find(header.begin(), header.begin() + 32, uint8_t{0});
  title_.assign(header.begin(), name_end);

  std::vector<uint8_t> record0;
  std::string why;
  if (!read_import_record(0, record0, why) || record0.size() < 2) {
    source_.close();
    return fail(damaged);
  }
  switch (byte_order::get_be16(record0.data())) {
    case 1:
      compress_ = false;
      break;
    case 2:
      compress_ = true;
      break;
    default:
      source_.close();
      return fail("Error: unknown compression type");
  }
  // Record 0 says how many of the records hold text; picture records after
  // them are not text and are never decoded as such.
  text_record_count_ = n - 1;
  if (record0.size() >= 10) {
    text_record_count_ = std::min(text_record_count_,
                                  static_cast<int32_t>(byte_order::get_be16(record0.data() + 8)));
  }
  record_count_ = n - 1;
  return true;
}

bool PrcConverter::read_import_record(int32_t record, std::vector<uint8_t>& bytes,
                                      std::string& why) {
  const auto n = static_cast<int32_t>(import_offsets_.size());
  if (record < 0 || record >= n || !source_.is_open()) {
    why = "is not in the file";
    return false;
  }
  const int64_t list_end = header_size + 8 * static_cast<int64_t>(n);
  const int64_t start = import_offsets_[static_cast<std::size_t>(record)];
  const int64_t end = record + 1 < n
                          ? int64_t{import_offsets_[static_cast<std::size_t>(record) + 1]}
                          : import_size_;
  if (start < list_end || start > end || end > import_size_) {
    why = "is damaged";
    return false;
  }
  if (end - start > max_import_record) {
    why = "is too large";
    return false;
  }
  const auto size = static_cast<int32_t>(end - start);
  bytes.resize(static_cast<std::size_t>(size));
  if (source_.seek(start, File::Origin::start) != start ||
      (size > 0 && source_.read(bytes.data(), size) != size)) {
    why = "cannot be read";
    return false;
  }
  return true;
}

bool PrcConverter::read_text_record(RecordBuffer& destination, int32_t index) {
  destination.clear();
  if (!source_.is_open() || import_offsets_.empty()) {
    return fail("Error: no PRC File is open for import");
  }
  if (index < 0 || index >= text_record_count_) return true;
  std::vector<uint8_t> bytes;
  std::string why;
  const std::string which =
      "Error: text record " + std::to_string(index + 1) + " of the PRC File: " + source_path_ + " ";
  if (!read_import_record(index + 1, bytes, why)) return fail(which + why);
  RecordBuffer record(std::move(bytes));
  if (compress_ && wayfetch::decompress(record) < 0) return fail(which + "is damaged");
  expand_line_ends(record);
  destination = std::move(record);
  return true;
}

}  // namespace wayfetch
