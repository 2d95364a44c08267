// The match search of the PalmDOC compressor (ebook/palmdoc.cc only).
//
// For a position p it finds the longest earlier string of at most ten bytes
// that equals the bytes at p, starting at most 2047 bytes back, and of the
// starts with that length the earliest. The compressor's output depends on
// that exact choice (docs/prc_format.md), so this is a faster way to the
// brute-force scan's answer, never an approximation of it.
//
// A finder serves one compression on one thread; its tables live in a
// MatchTables the caller owns and may reuse from record to record.
#ifndef WAYFETCH_EBOOK_PALMDOC_MATCH_FINDER_H
#define WAYFETCH_EBOOK_PALMDOC_MATCH_FINDER_H

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "ebook/palmdoc.h"

namespace wayfetch::palmdoc {

// The input is read through a copy followed by this many zero bytes, so that
// hashing and comparing may read past its end.
inline constexpr std::size_t match_padding = 16;

// Chains of the positions whose first bytes share a hash, in position order:
// `oldest` gives each bucket's first position, `next` each position's
// successor and `next2` the successor's successor; the input size ends a
// chain and is its own successor.
template <typename Index>
struct HashChains {
  std::vector<Index> oldest;  // per bucket
  std::vector<Index> next;    // per position, then the end
  std::vector<Index> next2;   // per position, then the end
};

// The chains of both levels of a finder.
template <typename Index>
using MatchTables = std::array<HashChains<Index>, 2>;

struct Match {
  int32_t length = 0;
  int32_t position = 0;
};

template <typename Index>
class MatchFinder {
 public:
  // Two levels of chains: positions sharing their first three bytes, and
  // positions sharing their first eight. A true eight-byte match in the
  // window means the longest match is found among the (few) eight-byte
  // candidates; without one it lies below eight bytes and is found among
  // the three-byte candidates, stopping at the first of seven. Most matches
  // in web pages are ten bytes long and are settled in the second level
  // after one or two candidates. A third level in between cost more to
  // build than its shorter walks saved (measured: docs/performance.md).
  static constexpr std::array<int32_t, 2> level_length = {min_match, 8};
  static constexpr int hash_bits = 13;
  static constexpr std::size_t buckets = std::size_t{1} << hash_bits;

  // The longest input whose positions and end fit the index type.
  static constexpr std::size_t max_input = std::numeric_limits<Index>::max();

  // Chains every position of the input. REQUIRES: `padded` holds the input
  // followed by match_padding zero bytes; size <= max_input.
  MatchFinder(const uint8_t* padded, int32_t size, MatchTables<Index>& tables) : in_(padded) {
    const auto end = static_cast<Index>(size);
    for (std::size_t level = 0; level < tables.size(); ++level) {
      HashChains<Index>& c = tables[level];
      c.oldest.assign(buckets, end);
      c.next.resize(static_cast<std::size_t>(size) + 1);
      c.next2.resize(static_cast<std::size_t>(size) + 1);
      c.next.back() = end;
      c.next2.back() = end;
      chains_[level] = {c.oldest.data(), c.next.data(), c.next2.data()};
    }
    // Chaining from the end keeps every chain in position order with one
    // table per level, in a loop without data-dependent branches. Later
    // positions are chained too: a search stops at its own position.
    for (int32_t s = size - 1; s >= 0; --s) {
      chain<0>(s);
      chain<1>(s);
    }
  }

  // The earliest longest match for `p` of at most `cap` bytes; length 0 when
  // none reaches three bytes. REQUIRES: 3 <= cap <= 10 and p + cap < size.
  Match find(int32_t p, int32_t cap) {
    const int32_t window = std::max(0, p - max_distance);
    const int32_t at3 = first_true<0>(p, window);
    if (at3 < 0) return {};
    // Near the end of the input the cap may stop a match below ten bytes:
    // the whole first chain is walked.
    if (cap < max_match) return best_from<0, true>(p, at3, cap);
    const int32_t at8 = first_true<1>(p, window);
    if (at8 < 0) return best_from<0, false>(p, at3, level_length[1] - 1);
    return best_from<1, true>(p, at8, max_match);
  }

 private:
  struct Chain {
    Index* oldest;
    Index* next;
    Index* next2;
  };

  template <int level>
  void chain(int32_t s) {
    const Chain& c = chains_[level];
    const uint32_t h = hash<level>(in_ + s);
    const Index newer = c.oldest[h];
    c.next[s] = newer;
    c.next2[s] = c.next[newer];
    c.oldest[h] = static_cast<Index>(s);
  }

  static uint64_t load64(const uint8_t* b) {
    uint64_t v;
    std::memcpy(&v, b, sizeof v);
    if constexpr (std::endian::native == std::endian::big) {
      uint64_t r = 0;
      for (int i = 0; i < 8; ++i) r = (r << 8) | ((v >> (8 * i)) & 0xFF);
      v = r;
    }
    return v;
  }

  template <int level>
  static uint32_t hash(const uint8_t* b) {
    uint64_t key = load64(b);
    constexpr int32_t length = level_length[level];
    if constexpr (length < 8) key &= (uint64_t{1} << (8 * length)) - 1;
    return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - hash_bits));
  }

  // How many of the first `limit` bytes at `a` and `b` agree (limit <= 10,
  // and <= 8 unless `longer`): eight at once, then the last two, without a
  // branch.
  template <bool longer>
  static int32_t common_length(const uint8_t* a, const uint8_t* b, int32_t limit) {
    const uint64_t x = load64(a) ^ load64(b);
    auto length = static_cast<int32_t>(std::countr_zero(x) >> 3);  // 8 when all agree
    if constexpr (longer) {
      const uint32_t y = (uint32_t{a[8]} ^ b[8]) | ((uint32_t{a[9]} ^ b[9]) << 8) | 0x10000u;
      length += x == 0 ? static_cast<int32_t>(std::countr_zero(y) >> 3) : 0;
    }
    return std::min(length, limit);
  }

  // The oldest position in the window whose first bytes equal those at p
  // for the level's length (a chain may hold hash collisions), or -1.
  // Positions only ever leave the window, so expired entries are dropped
  // from the front of the chain for good.
  template <int level>
  int32_t first_true(int32_t p, int32_t window) {
    const Chain& c = chains_[level];
    const uint32_t bucket = hash<level>(in_ + p);
    int32_t e = c.oldest[bucket];
    if (e < window) {
      do e = c.next[e];
      while (e < window);
      c.oldest[bucket] = static_cast<Index>(e);
    }
    constexpr int32_t length = level_length[level];
    for (; e < p; e = c.next[e]) {
      if (common_length<false>(in_ + e, in_ + p, length) == length) return e;
    }
    return -1;
  }

  // Walks position `e` (a true match of the level's length) and the later
  // entries before p for the earliest longest match of at most `limit`
  // bytes. Only a strictly longer match replaces an earlier one, and one of
  // `limit` bytes ends the walk. Two entries are fetched per step (`next2`)
  // because the walk waits on each load of the chain.
  template <int level, bool longer>
  Match best_from(int32_t p, int32_t e, int32_t limit) {
    const Chain& c = chains_[level];
    const uint8_t* here = in_ + p;
    Match best{common_length<longer>(in_ + e, here, limit), e};
    while (best.length < limit) {
      const int32_t a = c.next[e];
      const int32_t b = c.next2[e];
      if (a >= p) break;
      int32_t l = common_length<longer>(in_ + a, here, limit);
      if (l > best.length) best = {l, a};
      if (best.length >= limit || b >= p) break;
      l = common_length<longer>(in_ + b, here, limit);
      if (l > best.length) best = {l, b};
      e = b;
    }
    return best;
  }

  const uint8_t* in_;
  std::array<Chain, 2> chains_{};
};

}  // namespace wayfetch::palmdoc

#endif
