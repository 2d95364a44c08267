#include "ebook/palmdoc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace wayfetch {
namespace palmdoc {
namespace {

// The greedy search picks, at each position, the longest string of at most
// ten bytes (and stopping one byte before the end of the input) that occurs
// earlier in the window, and of those the earliest occurrence. A brute-force
// scan of the window finds exactly that, and so does walking the positions
// that share the first three bytes from the oldest to the newest and keeping
// the first one of greatest length: a match of three bytes or more must start
// with the same three bytes. Stopping at the first candidate that reaches the
// longest possible length keeps long runs of one byte cheap.
class MatchFinder {
 public:
  explicit MatchFinder(std::span<const uint8_t> input)
      : input_(input), next_(std::make_unique_for_overwrite<int32_t[]>(input.size())) {
    oldest_.fill(-1);
    newest_.fill(-1);
  }

  // Makes every position below `p` a candidate.
  void insert_up_to(int32_t p) {
    const int32_t last = static_cast<int32_t>(input_.size()) - min_match;
    for (; inserted_ < p; ++inserted_) {
      if (inserted_ > last) continue;
      uint32_t h = hash(inserted_);
      next_[static_cast<std::size_t>(inserted_)] = -1;
      if (newest_[h] < 0) {
        oldest_[h] = inserted_;
      } else {
        next_[static_cast<std::size_t>(newest_[h])] = inserted_;
      }
      newest_[h] = inserted_;
    }
  }

  // The earliest longest match for position `p`, at most `cap` bytes long;
  // length 0 when none reaches three bytes. REQUIRES: cap >= min_match and
  // p + cap < input length.
  struct Match {
    int32_t length = 0;
    int32_t position = 0;
  };
  Match find(int32_t p, int32_t cap) {
    const uint8_t* in = input_.data();
    const int32_t window_start = std::max(0, p - max_distance);
    uint32_t h = hash(p);
    // Positions only ever leave the window, so its oldest candidate is found
    // by dropping expired ones from the front of the chain once.
    int32_t c = oldest_[h];
    while (c >= 0 && c < window_start) c = next_[static_cast<std::size_t>(c)];
    oldest_[h] = c;
    if (c < 0) newest_[h] = -1;

    Match best;
    const uint8_t* here = in + p;
    for (; c >= 0; c = next_[static_cast<std::size_t>(c)]) {
      const uint8_t* there = in + c;
      // Only a strictly longer match replaces an earlier one.
      if (there[best.length] != here[best.length]) continue;
      int32_t length = 0;
      while (length < cap && there[length] == here[length]) ++length;
      if (length > best.length) {
        best.length = length;
        best.position = c;
        if (length == cap) break;
      }
    }
    if (best.length < min_match) best.length = 0;
    return best;
  }

 private:
  static constexpr int hash_bits = 12;

  uint32_t hash(int32_t s) const {
    const uint8_t* b = input_.data() + s;
    uint32_t key = (uint32_t{b[0]} << 16) | (uint32_t{b[1]} << 8) | b[2];
    return (key * 0x9E3779B1u) >> (32 - hash_bits);
  }

  std::span<const uint8_t> input_;
  std::unique_ptr<int32_t[]> next_;  // next newer position with the same hash
  std::array<int32_t, std::size_t{1} << hash_bits> oldest_{};
  std::array<int32_t, std::size_t{1} << hash_bits> newest_{};
  int32_t inserted_ = 0;
};

// Writes the codes of one record. Escaped bytes join the escape run that
// ends the output so far (up to eight bytes), which gives the same bytes as
// writing every escape on its own and merging neighbours afterwards.
class CodeWriter {
 public:
  explicit CodeWriter(std::size_t input_size) {
    // Worst cases: three bytes for a space and an escaped byte, nine for
    // eight escaped bytes; never more than two per input byte.
    out_.resize(2 * input_size + 2);
  }

  void literal(uint8_t c) {
    if (pending_space_) {
      pending_space_ = false;
      if (c >= 0x40 && c <= 0x7F) {
        put(static_cast<uint8_t>(c ^ 0x80));
        return;
      }
      put(0x20);
      escaped(c);
      return;
    }
    if (c == 0x20) {
      pending_space_ = true;
      return;
    }
    escaped(c);
  }

  void reference(int32_t distance, int32_t length) {
    if (pending_space_) {
      put(0x20);
      pending_space_ = false;
    }
    uint32_t v = 0x8000u + (static_cast<uint32_t>(distance) << 3) +
                 static_cast<uint32_t>(length - min_match);
    put(static_cast<uint8_t>(v >> 8));
    put(static_cast<uint8_t>(v & 0xFF));
  }

  std::vector<uint8_t> finish() {
    if (pending_space_) put(0x20);
    out_.resize(size_);
    return std::move(out_);
  }

 private:
  void put(uint8_t b) { out_[size_++] = b; }

  void escaped(uint8_t c) {
    if (c < 0x80 && (c == 0 || c > 0x08)) {
      put(c);
      return;
    }
    if (run_start_ != no_run && run_start_ + 1 + out_[run_start_] == size_ &&
        out_[run_start_] < max_escape_run) {
      ++out_[run_start_];
      put(c);
      return;
    }
    run_start_ = size_;
    put(0x01);
    put(c);
  }

  static constexpr std::size_t no_run = static_cast<std::size_t>(-1);
  std::vector<uint8_t> out_;
  std::size_t size_ = 0;
  std::size_t run_start_ = no_run;
  bool pending_space_ = false;
};

}  // namespace

std::vector<uint8_t> compress_bytes(std::span<const uint8_t> input) {
  const auto n = static_cast<int32_t>(input.size());
  CodeWriter writer(input.size());
  MatchFinder finder(input);
  int32_t p = 0;
  while (p < n) {
    finder.insert_up_to(p);
    // A match never reaches the last byte of the input.
    const int32_t cap = std::min(max_match, n - p - 1);
    MatchFinder::Match match;
    if (cap >= min_match) match = finder.find(p, cap);
    if (match.length >= min_match) {
      writer.reference(p - match.position, match.length);
      p += match.length;
    } else {
      writer.literal(input[static_cast<std::size_t>(p)]);
      ++p;
    }
  }
  return writer.finish();
}

bool decompress_bytes(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
  // No code yields more than five bytes per input byte (a two-byte
  // reference of ten), so one allocation holds any result.
  const std::size_t n = input.size();
  output.resize(5 * n);
  uint8_t* out = output.data();
  const uint8_t* in = input.data();
  std::size_t o = 0;
  std::size_t i = 0;
  bool ok = true;
  while (i < n) {
    const uint8_t c = in[i++];
    if (c == 0x00 || (c >= 0x09 && c <= 0x7F)) {
      out[o++] = c;
    } else if (c <= 0x08) {
      if (c > n - i) {
        ok = false;
        break;
      }
      std::memcpy(out + o, in + i, c);
      o += c;
      i += c;
    } else if (c <= 0xBF) {
      if (i >= n) {
        ok = false;
        break;
      }
      const uint32_t v = (uint32_t{c} << 8) | in[i++];
      const std::size_t distance = (v >> 3) & 0x7FF;
      const std::size_t length = (v & 7) + 3;
      if (distance == 0 || distance > o) {
        ok = false;
        break;
      }
      const uint8_t* from = out + o - distance;
      if (distance >= length) {
        std::memcpy(out + o, from, length);
      } else {
        // Overlapping: the copy reads bytes it has just produced.
        for (std::size_t k = 0; k < length; ++k) out[o + k] = from[k];
      }
      o += length;
    } else {
      out[o++] = 0x20;
      out[o++] = static_cast<uint8_t>(c ^ 0x80);
    }
  }
  output.resize(o);
  return ok;
}

}  // namespace palmdoc

int32_t compress(RecordBuffer& buffer) {
  buffer.replace(palmdoc::compress_bytes(buffer.bytes()));
  return buffer.length();
}

int32_t decompress(RecordBuffer& buffer) {
  std::vector<uint8_t> decoded;
  if (!palmdoc::decompress_bytes(buffer.bytes(), decoded)) return -1;
  buffer.replace(std::move(decoded));
  return buffer.length();
}

int32_t expand_line_ends(RecordBuffer& buffer) {
  std::span<const uint8_t> in = buffer.bytes();
  const auto feeds = static_cast<std::size_t>(std::count(in.begin(), in.end(), uint8_t{0x0A}));
  if (feeds == 0) return buffer.length();
  std::vector<uint8_t> out;
  out.reserve(in.size() + feeds);
  for (uint8_t b : in) {
    if (b == 0x0A) out.push_back(0x0D);
    out.push_back(b);
  }
  buffer.replace(std::move(out));
  return buffer.length();
}

}  // namespace wayfetch
