#include "ebook/page_publishing.h"

#include <filesystem>
#include <system_error>

#include "core/ascii.h"
#include "ebook/bitmap_pictures.h"
#include "ebook/ebook_package.h"
#include "platform/file_system.h"

namespace wayfetch {
namespace {

namespace fs = std::filesystem;

// The page as an absolute path: the book's links and anchors name files by
// their paths, so every path of one book must start from the same place.
std::string absolute_path(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) return path;
  return absolute.lexically_normal().string();
}

// "a.html" -> "a.prc", "a" -> "a.prc", ".profile" -> ".profile.prc".
std::string with_prc_extension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  if (dot != std::string::npos && dot > name_start) return path.substr(0, dot) + ".prc";
  return path + ".prc";
}

// The publisher would skip a file of another kind and make a book without
// its content.
bool is_publishable(const std::string& path) {
  for (const char* ending : {".txt", ".htm", ".html"}) {
    if (ascii::ends_with_ignoring_case(path, ending)) return true;
  }
  return false;
}

// Names compare as text only after the ".prc" change; a link or a second
// name of the page is found by what the file system says it is (device and
// inode). A book that does not exist yet is no page.
bool same_file(const std::string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

// The collected failure texts without the separator after the last one.
std::string failure_text(std::string text) {
  if (text.ends_with(" / ")) text.resize(text.size() - 3);
  return text.empty() ? "unknown failure" : text;
}

}  // namespace

std::string quick_publish_target(const std::string& source, const std::string& target) {
  if (target.empty()) return with_prc_extension(source);
  std::error_code error;
  if (fs::is_directory(target, error)) {
    std::string inside = target;
    if (!inside.ends_with('/')) inside += '/';
    return with_prc_extension(inside + fs::path(source).filename().string());
  }
  return with_prc_extension(target);
}

PagePublishOutcome publish_page(const std::string& source, const std::string& target,
                                const PagePublishOptions& options) {
  PagePublishOutcome outcome;
  std::error_code error;
  if (!fs::exists(source, error)) {
    outcome.result = PagePublishResult::missing_source;
    return outcome;
  }
  if (!platform::is_regular_file(source)) {
    outcome.result = PagePublishResult::not_a_file;
    return outcome;
  }
  if (!is_publishable(source)) {
    outcome.result = PagePublishResult::not_publishable;
    return outcome;
  }
  const std::string page = absolute_path(source);
  outcome.book = absolute_path(quick_publish_target(page, target));
  if (same_file(page, outcome.book)) {
    outcome.result = PagePublishResult::same_file;
    return outcome;
  }

  // A UTF-8 page (byte-order mark or declaration) is written as Windows-1252.
  const EbookPackage package =
      EbookPackage::from_page(page, "", EbookPackage::declared_code_page(page));
  BitmapPictureSource pictures;
  EbookPublisher publisher(package, &pictures);
  publisher.set_progress(options.progress);
  publisher.set_converter_progress(options.converter_progress);
  publisher.set_stop_check(options.stop);
  const bool published = publisher.publish(outcome.book, true, true);
  if (!published && options.stop && options.stop()) {
    outcome.result = PagePublishResult::stopped;
    return outcome;
  }
  for (const LeftOutPicture& picture : publisher.references().left_out_pictures()) {
    outcome.warnings.push_back("picture " + picture.name + ": " +
                               (picture.reason == LeftOutPicture::Reason::web_address
                                    ? "a web address (pictures are not downloaded)"
                                    : "no such file") +
                               ", left out of the book");
  }
  for (const std::string& note : pictures.notes()) {
    outcome.warnings.push_back("picture " + note + " (a blank picture stands in its place)");
  }
  if (!published) {
    outcome.result = PagePublishResult::failed;
    outcome.failure = failure_text(publisher.error_text());
    return outcome;
  }
  outcome.result = PagePublishResult::published;
  return outcome;
}

}  // namespace wayfetch
