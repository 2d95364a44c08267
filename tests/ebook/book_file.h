// Reads an e-book file back for tests: its records split by the record
// list, the decoded text and the picture records.
#ifndef WAYFETCH_TESTS_EBOOK_BOOK_FILE_H
#define WAYFETCH_TESTS_EBOOK_BOOK_FILE_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ebook/palmdoc.h"
#include "tests/support/temp_dir.h"

namespace wayfetch::testing {

struct BookFile {
  std::string bytes;
  std::string title;
  uint32_t record_count = 0;  // record 0 included
  uint32_t text_records = 0;
  std::vector<std::string> records;
  std::string text;  // the decoded text records

  // The picture record with this recindex (1 for the first picture).
  const std::string& picture(uint32_t k) const { return records[text_records + k]; }
};

inline uint32_t big_endian(const std::string& b, std::size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | static_cast<uint8_t>(b[at + i]);
  return value;
}

// An empty BookFile (no records) when the file is not an e-book.
inline BookFile read_book(const std::string& path) {
  BookFile book;
  book.bytes = read_bytes(path);
  if (book.bytes.size() < 78) return book;
  book.title = book.bytes.substr(0, book.bytes.find('\0'));
  book.record_count = big_endian(book.bytes, 76, 2);
  std::vector<uint32_t> offsets;
  for (uint32_t i = 0; i < book.record_count; ++i)
    offsets.push_back(big_endian(book.bytes, 78 + 8 * i, 4));
  for (uint32_t i = 0; i < book.record_count; ++i) {
    const uint32_t end =
        i + 1 < book.record_count ? offsets[i + 1] : static_cast<uint32_t>(book.bytes.size());
    book.records.push_back(book.bytes.substr(offsets[i], end - offsets[i]));
  }
  const bool compressed = big_endian(book.records[0], 0, 2) == 2;
  book.text_records = big_endian(book.records[0], 8, 2);
  for (uint32_t i = 1; i <= book.text_records; ++i) {
    if (!compressed) {
      book.text += book.records[i];
      continue;
    }
    const std::string& record = book.records[i];
    std::vector<uint8_t> decoded;
    palmdoc::decompress_bytes(
        std::span(reinterpret_cast<const uint8_t*>(record.data()), record.size()), decoded);
    book.text.append(decoded.begin(), decoded.end());
  }
  return book;
}

}  // namespace wayfetch::testing

#endif
