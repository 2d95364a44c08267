// A plain transcription of the PalmDOC compressor's rules, kept as the
// reference that the fast compressor must match byte for byte: a brute-force
// scan of the window for every candidate length, a first pass that writes one
// token per literal or back-reference, and a second pass that merges escape
// tokens. Slow by design; used by tests, the fuzz target and the benchmark.
#ifndef WAYFETCH_TESTS_EBOOK_PALMDOC_REFERENCE_H
#define WAYFETCH_TESTS_EBOOK_PALMDOC_REFERENCE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace wayfetch::testing {

inline std::vector<uint8_t> reference_compress(std::span<const uint8_t> in) {
  const std::size_t n = in.size();
  std::vector<uint8_t> tokens;
  bool pending_space = false;

  auto escaped = [&](uint8_t c) {
    if (c >= 0x80 || (c >= 0x01 && c <= 0x08)) tokens.push_back(0x01);
    tokens.push_back(c);
  };
  auto literal = [&](uint8_t c) {
    if (pending_space) {
      if (c >= 0x40 && c <= 0x7F) {
        tokens.push_back(static_cast<uint8_t>(c ^ 0x80));
      } else {
        tokens.push_back(0x20);
        escaped(c);
      }
      pending_space = false;
    } else if (c == 0x20) {
      pending_space = true;
    } else {
      escaped(c);
    }
  };

  // First pass: the candidate string is [p, r).
  std::size_t p = 0;
  std::size_t r = 1;
  std::size_t w = 0;
  while (p < n) {
    if (p - w > 2047) w = p - 2047;
    std::size_t match = p;
    while (true) {
      const std::size_t length = r - p;
      std::size_t s = w;
      while (s < p && !std::equal(in.begin() + static_cast<std::ptrdiff_t>(s),
                                  in.begin() + static_cast<std::ptrdiff_t>(s + length),
                                  in.begin() + static_cast<std::ptrdiff_t>(p))) {
        ++s;
      }
      if (s < p && length <= 10 && r != n) {
        match = s;
        w = s;
        ++r;
        continue;
      }
      break;
    }
    if (r - p >= 4) {
      const std::size_t length = r - p - 1;
      if (pending_space) {
        tokens.push_back(0x20);
        pending_space = false;
      }
      const std::size_t v = 0x8000 + ((p - match) << 3) + (length - 3);
      tokens.push_back(static_cast<uint8_t>(v >> 8));
      tokens.push_back(static_cast<uint8_t>(v & 0xFF));
      p = r - 1;
    } else {
      literal(in[p]);
      ++p;
    }
    w = 0;
    if (r < n) ++r;
  }
  if (pending_space) tokens.push_back(0x20);

  // Second pass: 01 x 01 y 01 z becomes 03 x y z, at most eight per run.
  std::vector<uint8_t> out;
  std::size_t i = 0;
  while (i < tokens.size()) {
    const uint8_t b = tokens[i];
    if (b >= 0x80 && b <= 0xBF) {
      out.push_back(b);
      out.push_back(tokens[i + 1]);
      i += 2;
    } else if (b == 0x01) {
      const std::size_t count = out.size();
      out.push_back(0x01);
      out.push_back(tokens[i + 1]);
      i += 2;
      while (i + 1 < tokens.size() && tokens[i] == 0x01 && out[count] < 8) {
        out.push_back(tokens[i + 1]);
        ++out[count];
        i += 2;
      }
    } else {
      out.push_back(b);
      ++i;
    }
  }
  return out;
}

// A direct decoder of the record codes; returns false for malformed data.
inline bool reference_decompress(std::span<const uint8_t> in, std::vector<uint8_t>& out) {
  out.clear();
  std::size_t i = 0;
  while (i < in.size()) {
    const uint8_t c = in[i++];
    if (c >= 0x01 && c <= 0x08) {
      for (int k = 0; k < c; ++k) {
        if (i >= in.size()) return false;
        out.push_back(in[i++]);
      }
    } else if (c >= 0x80 && c <= 0xBF) {
      if (i >= in.size()) return false;
      const unsigned v = (unsigned{c} << 8) | in[i++];
      const std::size_t distance = (v >> 3) & 0x7FF;
      if (distance == 0 || distance > out.size()) return false;
      for (unsigned k = 0; k < (v & 7) + 3; ++k) out.push_back(out[out.size() - distance]);
    } else if (c >= 0xC0) {
      out.push_back(0x20);
      out.push_back(static_cast<uint8_t>(c ^ 0x80));
    } else {
      out.push_back(c);
    }
  }
  return true;
}

}  // namespace wayfetch::testing

#endif
