// PictureList: the pictures a rendered page refers to, for the caller to fetch.
//
// The update job hands its list to the rendering engine; the engine adds one
// record per distinct (absolute address, section) pair it meets: pictures of
// the data (from "xsl:img", section from the nearest "incsec") and pictures of
// the template itself (section -1). PictureIndex answers "is this pair
// already listed?" in constant time, so a page with many pictures is not
// quadratic. Not thread-safe: the list belongs to the thread rendering.
#ifndef WAYFETCH_RENDERING_PICTURE_LIST_H
#define WAYFETCH_RENDERING_PICTURE_LIST_H

#include <cstdint>
#include <unordered_map>

#include "core/storage.h"
#include "core/string.h"

namespace wayfetch {

struct PictureListEntry {
  String address;        // absolute address
  int32_t section = -1;  // data section the picture belongs to; -1 for the template's own
  uint32_t key = 0;      // picture_key(address)
  // The picture's reference as the rendered page writes it (its `src`), so
  // the download can be saved where the page looks; empty when not known.
  String written;
};

using PictureList = Storage<PictureListEntry>;

// The lookup key of an address: a hash of its bytes (FNV-1a).
uint32_t picture_key(const String& address);

// Adds records to a caller's list without duplicates.
class PictureIndex {
 public:
  // Indexes the records `list` already holds; nullptr detaches.
  void attach(PictureList* list);
  bool attached() const { return list_ != nullptr; }
  // Appends (address, section) unless an equal record is listed; returns
  // whether it was appended. `written`: the reference as the page writes it.
  bool add(const String& address, int32_t section, const String& written = String());

 private:
  bool listed(const String& address, int32_t section, uint32_t key) const;

  PictureList* list_ = nullptr;
  std::unordered_multimap<uint32_t, int32_t> by_key_;  // key -> record index
};

}  // namespace wayfetch

#endif
