#include "ebook/page_converter.h"

#include <array>

#include "core/ascii.h"
#include "core/file.h"
#include "core/picture_names.h"
#include "ebook/byte_source.h"
#include "ebook/intermediate_file.h"
#include "ebook/local_link.h"
#include "ebook/reference_table.h"
#include "ebook/tag_reader.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

constexpr int end_of_text = 0x1A;  // old text files end at this byte

std::string not_available(const std::string& path) {
  return "The file " + path + ", referenced in the Manifest is not available";
}

bool open_regular(const std::string& path, File& file) {
  // A FIFO or device named like a page would block or never end.
  return platform::is_regular_file(path) && file.open(path, File::read_existing);
}

bool is_web_address(std::string_view address) {
  for (std::string_view scheme : {"http:", "https:", "ftp:"}) {
    if (ascii::starts_with_ignoring_case(address, scheme)) return true;
  }
  return false;
}

}  // namespace

bool PageConverter::convert(const std::string& path, std::string& error) {
  if (ascii::ends_with_ignoring_case(path, "txt")) return copy_text_file(path, error);
  if (!ascii::ends_with_ignoring_case(path, "htm") &&
      !ascii::ends_with_ignoring_case(path, "html")) {
    return true;
  }
  File file;
  if (!open_regular(path, file)) {
    error = not_available(path);
    return false;
  }
  FileByteSource source(file);
  TagReader reader(source);
  HtmlTag tag;

  // The head: only style sheets matter; text is passed over.
  bool body = false;
  while (!body) {
    const int c = reader.get();
    if (c < 0) break;
    if (c != '<') continue;
    const TagReader::Result result = reader.read_tag(tag);
    if (result == TagReader::Result::end) break;
    if (result == TagReader::Result::comment) {
      reader.read_comment([](char) {});
    } else if (ascii::equals_ignoring_case(tag.name, "BODY")) {
      body = true;
    } else if (!take_head_tag(tag, reader, path, error)) {
      return false;
    }
  }
  if (source.failed()) {
    error = not_available(path);
    return false;
  }
  if (!body) {
    error = "The file " + path +
            ", referenced in the Manifest is not a valid OEB Document : no tag <BODY> found";
    return false;
  }

  references_.add_anchor(path, "", out_.position());
  while (true) {
    if (stopped()) return false;
    // Text between tags moves a block at a time.
    const std::string_view run = source.take_run('<');
    if (!run.empty()) {
      out_.write(run);
      continue;
    }
    const int c = reader.get();
    if (c < 0) break;
    if (c != '<') {
      out_.put(static_cast<char>(c));
      continue;
    }
    const TagReader::Result result = reader.read_tag(tag);
    if (result == TagReader::Result::end) break;
    if (result == TagReader::Result::comment) {
      out_.write(tag.text);
      reader.read_comment([this](char byte) { out_.put(byte); });
      continue;
    }
    if (ascii::equals_ignoring_case(tag.name, "/BODY")) break;
    write_body_tag(tag, path);
  }
  if (source.failed()) {
    error = not_available(path);
    return false;
  }
  out_.write("<hr>");
  return true;
}

bool PageConverter::copy_text_file(const std::string& path, std::string& error) {
  File file;
  if (!open_regular(path, file)) {
    error = not_available(path);
    return false;
  }
  std::array<char, 16384> block{};
  while (true) {
    if (stopped()) return false;
    const int32_t got = file.read(block.data(), static_cast<int32_t>(block.size()));
    if (got < 0) {
      // A text cut short by a failing disk must not pass for the whole text.
      error = not_available(path);
      return false;
    }
    if (got == 0) return true;
    std::string_view bytes(block.data(), static_cast<std::size_t>(got));
    const std::size_t end = bytes.find(static_cast<char>(end_of_text));
    out_.write(bytes.substr(0, end));
    if (end != std::string_view::npos) return true;
  }
}

bool PageConverter::take_head_tag(const HtmlTag& tag, TagReader& reader, const std::string& path,
                                  std::string& error) {
  if (ascii::equals_ignoring_case(tag.name, "STYLE")) {
    // The rules follow the tag in the same file, up to "</STYLE>".
    style_ = std::make_unique<StyleSheet>();
    if (!style_->read(reader.source())) style_.reset();
    return true;
  }
  if (!ascii::equals_ignoring_case(tag.name, "LINK")) return true;
  const std::string* type = tag.attribute("TYPE");
  const std::string* href = tag.attribute("HREF");
  if (type == nullptr || href == nullptr) return true;
  if (!ascii::equals_ignoring_case(*type, "text/css")) {
    // A style sheet of another language (XSL, say) cannot be converted, and
    // the page fails as it always has. Feeds, icons and the other resources
    // pages link with a "rel" of their own are no style sheets: failing the
    // whole book for a link to its news feed would refuse most web pages.
    const std::string* rel = tag.attribute("REL");
    const bool style_sheet =
        rel == nullptr || ascii::find_ignoring_case(*rel, "stylesheet") != std::string_view::npos;
    if (!style_sheet) return true;
    error = "The style sheet " + *href + ", linked from " + path + ", is not a CSS style sheet";
    return false;
  }
  // A style sheet on the web is out of reach of a local conversion.
  const LinkTarget target = resolve_link(path, *href);
  if (!target.local) return true;
  File css;
  if (!open_regular(target.file, css)) {
    error = "The style sheet " + target.file + ", linked from " + path + ", is not available";
    return false;
  }
  FileByteSource css_source(css);
  style_ = std::make_unique<StyleSheet>();
  if (!style_->read(css_source)) style_.reset();
  if (css_source.failed()) {
    error = "The style sheet " + target.file + ", linked from " + path + ", is not available";
    return false;
  }
  return true;
}

void PageConverter::write_body_tag(const HtmlTag& tag, const std::string& path) {
  // An anchor notes the position; the tag itself is written by a later stage.
  const bool anchor_tag = ascii::equals_ignoring_case(tag.name, "A");
  const std::string* id = tag.attribute("ID");
  const std::string* name = anchor_tag ? tag.attribute("NAME") : nullptr;
  for (const std::string* anchor : {id, name}) {
    if (anchor == nullptr || (anchor == name && id != nullptr && *id == *name)) continue;
    std::string_view text = *anchor;
    if (text.starts_with('#')) text.remove_prefix(1);
    references_.add_anchor(path, text, out_.anchor_position());
  }

  if (write_link(tag, path) || write_picture(tag, path)) return;
  if (style_ != nullptr) {
    styled_.clear();
    if (style_->rewrite_tag(tag, styled_)) {
      out_.write(styled_);
      return;
    }
  }
  out_.write(tag.text);
}

bool PageConverter::write_link(const HtmlTag& tag, const std::string& path) {
  if (!ascii::equals_ignoring_case(tag.name, "A") &&
      !ascii::equals_ignoring_case(tag.name, "REFERENCE") &&
      !ascii::equals_ignoring_case(tag.name, "METADATA")) {
    return false;
  }
  const std::string* href = tag.attribute("HREF");
  if (href == nullptr || references_.links_full()) return false;
  const LinkTarget target = resolve_link(path, *href);

  std::string_view text = tag.text;
  if (text.ends_with('>')) text.remove_suffix(1);
  if (text.ends_with('/')) text.remove_suffix(1);
  out_.write(text);
  out_.write(" filepos=\"");
  references_.add_link(target.file, target.fragment, out_.position());
  out_.write(ReferenceTable::link_placeholder);
  out_.write("\">");
  return true;
}

bool PageConverter::write_picture(const HtmlTag& tag, const std::string& path) {
  if (!ascii::equals_ignoring_case(tag.name, "IMG")) return false;
  const std::string* src = tag.attribute("SRC");
  if (src == nullptr) return false;

  // Quotation marks and angle brackets in a name would end the tag early;
  // the patch that names the record overwrites the name anyway.
  std::string name(file_name_of(*src));
  for (char& c : name) {
    if (c == '"' || c == '<' || c == '>') c = '_';
  }
  out_.write("<img src=");
  const int64_t quote = out_.position();
  out_.write("\"");
  out_.write(name);
  out_.write("\"");
  // The name as the book holds it (converted text may be longer), which the
  // patch that names the record must cover exactly.
  const int64_t written_name = out_.position() - quote - 2;
  out_.write(" recindex=\"");
  out_.write(ReferenceTable::picture_placeholder);
  out_.write("\">");

  // Names like "a.gif" are spacers and bullets, not pictures worth a record.
  if (name.size() >= 2 && ascii::is_letter(name[0]) && name[1] == '.') return true;
  // Targets are found from the page's own text, never the converted one.
  const LinkTarget target = resolve_link(path, *src);
  if (!target.local) {
    if (is_web_address(*src)) {
      references_.leave_out_picture(*src, LeftOutPicture::Reason::web_address);
    }
    return true;
  }
  if (written_name < 3 || picture_ending_of(file_name_of(target.file)) == PictureEnding::none) {
    return true;
  }
  if (!platform::is_regular_file(target.file)) {
    references_.leave_out_picture(target.file, LeftOutPicture::Reason::missing);
    return true;
  }
  references_.add_picture(target.file, static_cast<int32_t>(written_name), quote);
  return true;
}

}  // namespace wayfetch
