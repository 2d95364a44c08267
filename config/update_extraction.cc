// Steps 11 and 12 of an update: rebuilding from the data on disk, the
// downloads, and the rendering and building of each eNews.
#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

#include "config/update_run.h"
#include "core/string_table.h"
#include "ebook/bitmap_pictures.h"
#include "ebook/ebook_package.h"
#include "ebook/ebook_publisher.h"
#include "extraction/safe_name.h"
#include "platform/file_system.h"
#include "rendering/rendering_engine.h"

namespace wayfetch {
namespace {

// The path made absolute: the book's links and pictures are resolved
// against the page's folder, the eNews folder, whatever the process's
// current folder is.
std::string absolute_path(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

int32_t clamped(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, 0, std::numeric_limits<int32_t>::max()));
}

}  // namespace

void UpdateRun::rebuild_without_download() {
  for (int32_t i = 0; i < config_.count(); ++i) {
    const EnewsRun& run = enews_[static_cast<std::size_t>(i)];
    if (!run.rebuild || run.any_due) continue;
    const bool built = render(i, nullptr) && build(i);
    report(i, built ? conduit_state::built : conduit_state::not_built);
  }
}

void UpdateRun::extract() {
  if (!connected_) return;
  const auto start = std::chrono::steady_clock::now();
  {
    Extractor extractor(policy_.connector(), &UpdateRun::on_progress, this);
    bool any = false;
    for (int32_t i = 0; i < config_.count(); ++i) {
      EnewsRun& run = enews_[static_cast<std::size_t>(i)];
      if (!run.any_due) continue;
      ENews& enews = config_.at(i);
      if (enews.failed) {
        report(i, conduit_state::not_built);
        continue;
      }
      run.own_files = 0;
      run.files = 0;
      std::fill(run.item_files.begin(), run.item_files.end(), 0);
      run.extracted = true;
      // A template refreshed from the web counts as a web page: it cannot
      // make the run read local files.
      extractor.add(enews.radix(), run.due, i, extraction::is_web_address(enews.xml_extraction));
      any = true;
    }
    if (any) extractor.run();
  }
  learn(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                              start)
            .count());
}

void UpdateRun::learn(int64_t elapsed_ms) {
  int64_t files = 0;
  for (int32_t i = 0; i < config_.count(); ++i) {
    const EnewsRun& run = enews_[static_cast<std::size_t>(i)];
    if (!run.extracted || config_.at(i).failed) continue;
    files += run.own_files;
    for (std::size_t k = 0; k < run.due.size(); ++k) {
      if (run.due[k]) files += run.item_files[k];
    }
  }
  if (files <= 0) return;
  const int32_t time_per_file = clamped(elapsed_ms / files);
  for (int32_t i = 0; i < config_.count(); ++i) {
    const EnewsRun& run = enews_[static_cast<std::size_t>(i)];
    ENews& enews = config_.at(i);
    if (!run.extracted || enews.failed) continue;
    enews.time_per_file = time_per_file;
    enews.file_count = run.own_files;
    for (int32_t k = 0; k < enews.item_count(); ++k) {
      ENewsItem& item = enews.item(k);
      if (run.due[static_cast<std::size_t>(k)] && !item.failed) {
        item.file_count = run.item_files[static_cast<std::size_t>(k)];
      }
    }
  }
}

void UpdateRun::on_progress(void* self, int32_t identifier, ProgressEvent event, int32_t section,
                            PictureList* pictures) {
  static_cast<UpdateRun*>(self)->progress(identifier, event, section, pictures);
}

void UpdateRun::progress(int32_t i, ProgressEvent event, int32_t section, PictureList* pictures) {
  if (i < 0 || i >= config_.count()) return;
  ENews& enews = config_.at(i);
  EnewsRun& run = enews_[static_cast<std::size_t>(i)];
  // Section k + 1 is item k; section 0 the eNews's own (main) document.
  const int32_t item = section - 1;
  const bool is_item = item >= 0 && item < enews.item_count();
  switch (event) {
    case ProgressEvent::started:
      break;
    case ProgressEvent::downloaded:
      if (is_item) {
        ++run.item_files[static_cast<std::size_t>(item)];
      } else {
        ++run.own_files;
      }
      ++run.files;
      core_.estimates_.file_downloaded(enews.time_per_file, observer_);
      observer_.status(StatusLine::enews_line(strings::file_downloaded, enews.title, run.files));
      break;
    case ProgressEvent::section_problem:
      // Section 0 (a main document without content, a template that did not
      // load) marks no item.
      if (is_item) enews.item(item).failed = true;
      break;
    case ProgressEvent::data_written:
      run.rendered = render(i, pictures);
      break;
    case ProgressEvent::finished: {
      // Without a rendering in this run (its template did not load) the
      // page on disk is an old one: nothing is built from it.
      if (!run.rendered) enews.failed = true;
      const bool built = !enews.failed && build(i);
      // The eBookMan family gets the book through its tool (device type "ebm").
      if (built) (void)replicator_->hand_over_ebook(absolute_path(enews.prc_path().to_utf8()));
      report(i, built ? conduit_state::built : conduit_state::not_built);
      status(strings::enews_sent);
      break;
    }
  }
}

bool UpdateRun::render(int32_t i, PictureList* pictures) {
  ENews& enews = config_.at(i);
  const std::string xsl = enews.xsl_path().to_utf8();
  if (xsl.empty() || !platform::is_regular_file(xsl)) {
    status(strings::download_problems);
    enews.failed = true;
    return false;
  }
  // Failed items lose their data; the book is rebuilt only when it would
  // gain something: no failure, or a newly selected item that came through.
  int32_t failed = 0;
  bool gains = false;
  for (int32_t k = 0; k < enews.item_count(); ++k) {
    const ENewsItem& item = enews.item(k);
    if (!item.is_visible() || !item.selected()) continue;
    if (item.failed) {
      ++failed;
      platform::remove_file(item.data_path().to_utf8());
    } else if (!item.selected_in_build) {
      gains = true;
    }
  }
  if (failed > 0 && !gains) {
    status(strings::download_problems);
    enews.failed = true;
    return false;
  }
  RenderingEngine engine;
  if (pictures != nullptr) engine.set_picture_target(*pictures, enews.xsl_rendering);
  engine.set_radix(enews.radix());
  engine.add_datasource(String("data"));
  for (int32_t k = 0; k < enews.item_count(); ++k) {
    const ENewsItem& item = enews.item(k);
    if (item.selected() && !item.failed) engine.add_datasource(String("data" + std::to_string(k)));
  }
  status(strings::rendering_enews);
  const bool rendered = engine.render();
  status(strings::enews_rendered);
  // A page that did not render is not built: an old page would be.
  if (!rendered) enews.failed = true;
  return rendered;
}

bool UpdateRun::build(int32_t i) {
  ENews& enews = config_.at(i);
  status(strings::building_enews);
  const std::string page = absolute_path(enews.html_path().to_utf8());
  const std::string book = absolute_path(enews.prc_path().to_utf8());
  if (enews.html_path().empty() || !platform::is_regular_file(page)) {
    enews.failed = true;
    return false;
  }
  const EbookPackage package =
      EbookPackage::from_page(page, enews.title.to_utf8(), EbookPackage::declared_code_page(page));
  BitmapPictureSource pictures;
  EbookPublisher publisher(package, &pictures);
  publisher.set_converter_progress(nullptr);
  // Stop ends a build at once; the publisher then leaves the earlier book.
  publisher.set_stop_check([this] { return stopped(); });
  if (!publisher.publish(book, true, false)) {
    enews.failed = true;
    return false;
  }
  enews.mark_built();
  std::error_code error;
  const auto size = std::filesystem::file_size(book, error);
  enews.file_size = error ? 0 : clamped(static_cast<int64_t>(size));
  return true;
}

}  // namespace wayfetch
