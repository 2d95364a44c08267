// UrlRegistry: the addresses a site download has met, and their numbers.
//
// A site download (the `download-site` action) fetches every page and
// picture once and gives each place a link can point to a local name: the
// pair (absolute address without its "#" part, anchor name) gets a number
// the first time it is asked for, from one counter shared by every pair;
// the empty anchor name stands for the address itself. Addresses compare
// by their exact text (as resolution leaves it), anchor names likewise.
//
// The registry holds at most `max_pairs` pairs. Past it a new pair gets no
// number (`none`), so a page cannot make the numbers run up to 0xFFFFFFFF
// (the value links that lead nowhere are given) nor grow memory without
// bound: every distinct anchor of a registered page gets a number without
// any download.
//
// Each address also remembers what the site download made of it: whether
// it is a picture and under which file name, and whether its download was
// refused (it then leads nowhere). Not thread-safe: the engine's thread only.
#ifndef WAYFETCH_EXTRACTION_URL_REGISTRY_H
#define WAYFETCH_EXTRACTION_URL_REGISTRY_H

#include <cstdint>
#include <string>
#include <unordered_map>

namespace wayfetch::extraction {

class UrlRegistry {
 public:
  static constexpr uint32_t none = 0xFFFFFFFFu;
  static constexpr int64_t default_max_pairs = 1000000;

  struct Entry {
    bool picture = false;
    bool refused = false;    // its download could not be scheduled
    std::string file_name;   // pictures: the name it is saved under (page encoding bytes)
    std::unordered_map<std::string, uint32_t> anchors;
  };
  struct Lookup {
    uint32_t number = none;
    Entry* entry = nullptr;   // nullptr when the address is not registered
    bool new_address = false; // this call registered the address
  };

  // Forgets everything; numbers start again at 0.
  void reset(int64_t max_pairs);

  // The number of (address, anchor). An address not yet registered is added
  // only when `may_add` (and the pair fits); `new_address` tells it was.
  Lookup number(const std::string& address, const std::string& anchor, bool may_add);
  // The entry of a registered address, or nullptr.
  Entry* find(const std::string& address);

  int64_t pairs() const { return pairs_; }
  int64_t addresses() const { return static_cast<int64_t>(entries_.size()); }

 private:
  std::unordered_map<std::string, Entry> entries_;
  int64_t pairs_ = 0;
  int64_t max_pairs_ = default_max_pairs;
  uint32_t next_ = 0;
};

}  // namespace wayfetch::extraction

#endif
