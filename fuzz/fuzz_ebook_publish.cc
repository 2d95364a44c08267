// Any bytes as a page to publish: the publisher must end in a book or a
// failure with a message, never in a fault; and in a book every filepos
// must point inside the text and every recindex name a picture record.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "ebook/ebook_publisher.h"
#include "ebook/palmdoc.h"

namespace {

std::string folder;

void remove_folder() {
  if (!folder.empty()) std::filesystem::remove_all(folder);
}

void write(const std::string& path, const void* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

// One scratch folder per process (in memory when /dev/shm exists), holding
// the page, a style sheet and two pictures the page may name.
const std::string& scratch_folder() {
  if (folder.empty()) {
    std::string p = access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz_ebook_publish_XXXXXX"
                                                  : "/tmp/fuzz_ebook_publish_XXXXXX";
    if (mkdtemp(p.data()) == nullptr) std::abort();
    folder = p;
    std::atexit(remove_folder);
    const std::string css =
        "P.x { font-weight: bold; margin-bottom: 4px }\n.big { font-size: large }";
    write(folder + "/style.css", css.data(), css.size());
    write(folder + "/photo.jpg", "jpeg", 4);
    write(folder + "/icon.gif", "gif", 3);
    // Working folders of the publisher go here too.
    setenv("TMPDIR", folder.c_str(), 1);
  }
  return folder;
}

class FixedPictures : public wayfetch::PictureRecordSource {
 public:
  bool make_record(const std::string&, std::vector<uint8_t>& record, std::string&) override {
    record.assign({'B', 'M'});
    return true;
  }
};

uint32_t big_endian(const std::string& b, size_t at, int bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(b.data()) + at;
  return bytes == 2 ? wayfetch::byte_order::get_be16(p) : wayfetch::byte_order::get_be32(p);
}

// The decoded text of a book, and its picture count.
std::string book_text(const std::string& path, uint32_t& pictures) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) std::abort();
  std::string bytes;
  char block[65536];
  for (size_t got; (got = std::fread(block, 1, sizeof block, f)) > 0;) bytes.append(block, got);
  std::fclose(f);
  const uint32_t n = big_endian(bytes, 76, 2);
  std::vector<uint32_t> offsets;
  for (uint32_t i = 0; i < n; ++i) offsets.push_back(big_endian(bytes, 78 + 8 * i, 4));
  offsets.push_back(static_cast<uint32_t>(bytes.size()));
  const uint32_t text_records = big_endian(bytes, offsets[0] + 8, 2);
  pictures = n - 1 - text_records;
  std::string text;
  for (uint32_t i = 1; i <= text_records; ++i) {
    std::vector<uint8_t> decoded;
    const auto* start = reinterpret_cast<const uint8_t*>(bytes.data()) + offsets[i];
    if (!wayfetch::palmdoc::decompress_bytes({start, offsets[i + 1] - offsets[i]}, decoded))
      std::abort();
    text.append(decoded.begin(), decoded.end());
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = scratch_folder();
  const std::string page = dir + "/page.html";
  const std::string book = dir + "/page.prc";
  write(page, data, size);

  const wayfetch::EbookPackage package = wayfetch::EbookPackage::from_page(page, "");
  FixedPictures pictures;
  wayfetch::EbookPublisher publisher(package, &pictures);
  publisher.set_converter_progress(nullptr);
  if (!publisher.publish(book, true, (size % 2) == 1)) {
    if (publisher.error_text().empty()) std::abort();
    return 0;
  }
  // The page's own text may say "filepos" too: check what the publisher
  // placed, where it placed it.
  uint32_t picture_count = 0;
  const std::string text = book_text(book, picture_count);
  const wayfetch::ReferenceTable& references = publisher.references();
  char expected[64];
  for (const wayfetch::LinkRecord& link : references.links()) {
    const std::string value = text.substr(static_cast<size_t>(link.position), 10);
    if (link.anchor < 0) {
      if (value != "XXXXXXXXXX") std::abort();
      continue;
    }
    const int64_t target = references.anchors()[static_cast<size_t>(link.anchor)].position;
    std::snprintf(expected, sizeof expected, "%010lld", static_cast<long long>(target));
    if (value != expected || target < 0 || static_cast<size_t>(target) > text.size()) std::abort();
  }
  for (const wayfetch::PictureSlot& slot : references.pictures()) {
    std::snprintf(expected, sizeof expected, "\"BMP\" recindex=\"%05d\">", slot.k);
    if (text.compare(static_cast<size_t>(slot.position), std::strlen(expected), expected) != 0)
      std::abort();
    if (slot.k < 1 || static_cast<uint32_t>(slot.k) > picture_count) std::abort();
  }
  return 0;
}
