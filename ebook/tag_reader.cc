#include "ebook/tag_reader.h"

namespace wayfetch {
namespace {

void cut_trailing_blanks(std::string& text) {
  while (!text.empty() && ascii::is_html_space(static_cast<unsigned char>(text.back())))
    text.pop_back();
}

// The text of a tag too long to keep as it stood: its name and the
// attributes that were kept.
std::string rebuilt_text(const HtmlTag& tag) {
  std::string text(1, '<');
  text += tag.name;
  for (const HtmlAttribute& attribute : tag.attributes) {
    const char quote = attribute.value.find('"') == std::string::npos ? '"' : '\'';
    text += ' ';
    text += attribute.name;
    text += '=';
    text += quote;
    text += attribute.value;
    text += quote;
  }
  text += '>';
  return text;
}

}  // namespace

int TagReader::take() {
  const int c = in_.get();
  if (c >= 0) {
    if (raw_.size() < max_text) {
      raw_ += static_cast<char>(c);
    } else {
      overflow_ = true;
    }
  }
  return c;
}

TagReader::Result TagReader::read_tag(HtmlTag& tag) {
  tag.name.clear();
  tag.attributes.clear();
  tag.text.clear();
  raw_.clear();
  raw_.push_back('<');
  overflow_ = false;

  int c = take();
  while (ascii::is_html_space(c)) c = take();
  while (c >= 0 && !ascii::is_html_space(c) && c != '>') {
    if (tag.name.size() < max_value) tag.name += static_cast<char>(c);
    if (tag.name == "!--") {
      tag.text = raw_;
      return Result::comment;
    }
    c = take();
  }

  while (c >= 0 && c != '>') {
    while (ascii::is_html_space(c)) c = take();
    if (c < 0 || c == '>') break;
    HtmlAttribute attribute;
    while (c >= 0 && !ascii::is_html_space(c) && c != '>' && c != '=') {
      if (attribute.name.size() < max_value)
        attribute.name += ascii::to_upper(static_cast<char>(c));
      c = take();
    }
    while (ascii::is_html_space(c)) c = take();
    if (c == '=') {
      c = take();
      while (ascii::is_html_space(c)) c = take();
      if (c == '"' || c == '\'') {
        const int quote = c;
        for (c = take(); c >= 0 && c != quote; c = take()) {
          if (attribute.value.size() < max_value) attribute.value += static_cast<char>(c);
        }
        if (c == quote) c = take();
      } else {
        for (; c >= 0 && !ascii::is_html_space(c) && c != '>'; c = take()) {
          if (attribute.value.size() < max_value) attribute.value += static_cast<char>(c);
        }
      }
      cut_trailing_blanks(attribute.value);
    }
    // "<br />" ends in a lone slash, and "<a =x>" has a value without a name.
    if (attribute.name.empty() || attribute.name == "/") continue;
    if (tag.attributes.size() < max_attributes) {
      tag.attributes.push_back(std::move(attribute));
    } else {
      tag.attributes.back() = std::move(attribute);
    }
  }
  if (c < 0) return Result::end;

  if (tag.attributes.empty()) {
    tag.text.assign(1, '<');
    tag.text += ascii::upper(tag.name);
    tag.text += '>';
  } else if (!overflow_) {
    tag.text = raw_;
  } else {
    tag.text = rebuilt_text(tag);
  }
  return Result::tag;
}

}  // namespace wayfetch
