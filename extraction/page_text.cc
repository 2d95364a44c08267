#include "extraction/page_text.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "extraction/words.h"

namespace wayfetch::extraction {

void PageText::assign(const String& text) {
  text_.set_text(text.window_bytes(), text.encoding(), text.code_page());
  text_.set_context(text.context());
  gap_start_ = gap_end_ = 0;
}

void PageText::clear() {
  text_.set_text(std::string_view(), TextEncoding::SingleByte, -1);
  gap_start_ = gap_end_ = 0;
}

int32_t PageText::clamp(int32_t offset) const { return std::clamp(offset, 0, length()); }

void PageText::gap_to(int32_t offset) {
  if (gap_length() == 0) {
    // Without a gap every offset is its own byte; nothing moves.
    gap_start_ = gap_end_ = offset;
    return;
  }
  uint8_t* bytes = text_.mutable_data();
  if (offset < gap_start_) {
    int32_t moved = gap_start_ - offset;
    std::memmove(bytes + gap_end_ - moved, bytes + offset, static_cast<std::size_t>(moved));
    gap_start_ = offset;
    gap_end_ -= moved;
  } else if (offset > gap_start_) {
    int32_t moved = offset - gap_start_;
    std::memmove(bytes + gap_start_, bytes + gap_end_, static_cast<std::size_t>(moved));
    gap_start_ += moved;
    gap_end_ += moved;
  }
}

int32_t PageText::contiguous_from(int32_t offset) {
  if (offset < gap_start_) gap_to(offset);
  return offset + gap_length();
}

bool PageText::find(const String& pattern, int32_t from, int32_t last_start, bool case_sensitive,
                    Match& match, int64_t& work) {
  std::string_view needle = pattern.window_bytes();
  from = clamp(from);
  last_start = std::min(last_start, length());
  if (needle.empty() || from > last_start || from >= length()) return false;
  const int32_t base = contiguous_from(from);
  const int32_t gap = gap_length();
  const uint8_t* bytes = text_.data();
  const int32_t end = text_.length();
  const int32_t last = last_start + gap;

  if (text_.encoding() == TextEncoding::SingleByte &&
      pattern.encoding() == TextEncoding::SingleByte) {
    // Every byte is a character: test the first byte in both cases, then the rest.
    const auto size = static_cast<int32_t>(needle.size());
    const uint16_t first = ascii::fold(static_cast<uint8_t>(needle[0]));
    const int32_t stop = std::min(last, end - size);
    for (int32_t at = base; at <= stop; ++at) {
      uint8_t c = bytes[at];
      if (case_sensitive ? c != static_cast<uint8_t>(needle[0]) : ascii::fold(c) != first) continue;
      int32_t k = 1;
      for (; k < size; ++k) {
        uint8_t a = bytes[at + k];
        auto b = static_cast<uint8_t>(needle[static_cast<std::size_t>(k)]);
        if (case_sensitive ? a != b : ascii::fold(a) != ascii::fold(b)) break;
      }
      work += k;
      if (k == size) {
        work += at - base;
        match = {at - gap, at + size - gap};
        return true;
      }
    }
    work += std::max(0, stop - base + 1);
    return false;
  }

  CharReader walk{bytes, base, end, text_.encoding(), text_.code_page()};
  while (!walk.at_end() && walk.position <= last) {
    CharReader rest = walk;
    CharReader wanted = CharReader::window_of(pattern);
    bool same = true;
    while (same && !wanted.at_end()) {
      if (rest.at_end()) {
        same = false;
        break;
      }
      uint16_t a = rest.next();
      uint16_t b = wanted.next();
      same = case_sensitive ? a == b : ascii::fold(a) == ascii::fold(b);
    }
    work += rest.position - walk.position;
    if (same) {
      match = {walk.position - gap, rest.position - gap};
      return true;
    }
    walk.next();
  }
  return false;
}

String PageText::copy(int32_t start, int32_t end) {
  start = clamp(start);
  end = clamp(end);
  String out;
  if (end > start) {
    int32_t at = contiguous_from(start);
    out.set_text(std::string_view(reinterpret_cast<const char*>(text_.data()) + at,
                                  static_cast<std::size_t>(end - start)),
                 text_.encoding(), text_.code_page());
  } else {
    out.set_encoding(text_.encoding(), text_.code_page());
  }
  out.set_context(text_.context());
  return out;
}

void PageText::erase(int32_t start, int32_t end) {
  start = clamp(start);
  end = clamp(end);
  if (end <= start) return;
  gap_to(start);
  gap_end_ += end - start;
}

void PageText::replace(int32_t start, int32_t end, std::string_view bytes) {
  start = clamp(start);
  end = std::max(start, clamp(end));
  if (end > start) {
    erase(start, end);
  } else {
    gap_to(start);
  }
  if (static_cast<int64_t>(bytes.size()) <= gap_length()) {
    if (!bytes.empty()) std::memcpy(text_.mutable_data() + gap_start_, bytes.data(), bytes.size());
    gap_start_ += static_cast<int32_t>(bytes.size());
    return;
  }
  // The new text does not fit the hole: build the page anew around it.
  std::string whole;
  const auto* data = reinterpret_cast<const char*>(text_.data());
  whole.reserve(static_cast<std::size_t>(length()) + bytes.size());
  whole.append(data, static_cast<std::size_t>(gap_start_));
  whole.append(bytes);
  whole.append(data + gap_end_, static_cast<std::size_t>(text_.length() - gap_end_));
  int32_t context = text_.context();
  text_.set_text(whole, text_.encoding(), text_.code_page());
  text_.set_context(context);
  gap_start_ = gap_end_ = 0;
}

bool PageText::read_tag(XmlParser& parser, int32_t from, PageTag& tag, int64_t& work) {
  from = clamp(from);
  if (from >= length()) return false;
  const int32_t at = contiguous_from(from);
  const int32_t first_new = parser.node_count();
  // A text that holds an error state is refused by the parser; the page's
  // own status is of no interest here.
  text_.clear_status();
  text_.set_cursor(at);
  parser.set_mode(ParseMode::html_tag);
  parser.parse(text_);
  const int32_t stop = std::max(at, text_.cursor() < 0 ? at : text_.cursor());
  work += stop - at;
  if (parser.node_count() <= first_new || parser.get(first_new).kind != node_element ||
      stop <= at) {
    return false;
  }
  tag.element = first_new;
  tag.start = page_offset(parser.get(first_new).source_start);
  tag.after = page_offset(stop);
  return true;
}

int32_t PageText::page_offset(int32_t source_offset) const {
  if (source_offset < 0) return -1;
  if (source_offset >= gap_end_) return source_offset - gap_length();
  return std::min(source_offset, gap_start_);
}

}  // namespace wayfetch::extraction
