#include "ebook/palmdoc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "ebook/palmdoc_match_finder.h"

namespace wayfetch {
namespace palmdoc {
namespace {

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

// The padded copy of the input and the match tables of one compression.
template <typename Index>
struct Workspace {
  std::vector<uint8_t> padded;
  MatchTables<Index> tables;
};

template <typename Index>
std::vector<uint8_t> compress_in(std::span<const uint8_t> input, Workspace<Index>& work) {
  const auto n = static_cast<int32_t>(input.size());
  work.padded.assign(input.begin(), input.end());
  work.padded.resize(input.size() + match_padding, 0);
  CodeWriter writer(input.size());
  MatchFinder<Index> finder(work.padded.data(), n, work.tables);
  int32_t p = 0;
  while (p < n) {
    // A match never reaches the last byte of the input.
    const int32_t cap = std::min(max_match, n - p - 1);
    Match match;
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

}  // namespace

std::vector<uint8_t> compress_bytes(std::span<const uint8_t> input) {
  // Records (4096 bytes) take 16-bit positions and a workspace kept by the
  // thread, so compressing a book allocates nothing per record but the
  // result; longer inputs take 32-bit positions and a workspace of their own.
  if (input.size() <= MatchFinder<uint16_t>::max_input) {
    thread_local Workspace<uint16_t> work;
    return compress_in(input, work);
  }
  Workspace<int32_t> work;
  return compress_in(input, work);
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
