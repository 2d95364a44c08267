#include "rendering/rendering_engine.h"

#include "platform/clock.h"
#include "platform/file_replacement.h"

namespace wayfetch {

RenderingEngine::RenderingEngine() {
  template_.seed_random(static_cast<uint32_t>(platform::current_clock().file_time() / 10'000'000));
}

void RenderingEngine::set_radix(const String& radix) {
  radix_.assign(radix);
  radix_.to_system_code_page();
}

String RenderingEngine::path_with(const char* suffix) const {
  String path(radix_);
  path.append_ascii(suffix);
  path.select_all();
  return path;
}

void RenderingEngine::add_datasource(const String& name) {
  if (radix_.empty()) {
    raise_error(errors::render_no_radix);
    return;
  }
  String part(name);
  part.to_system_code_page();
  String path(radix_);
  path.append_ascii(".");
  path.append(part);
  path.append_ascii(".xml");
  path.select_all();
  datasources_.push(path);
}

void RenderingEngine::set_picture_target(PictureList& pictures, const String& template_address) {
  template_.set_picture_target(&pictures, template_address);
}

bool RenderingEngine::render() {
  if (datasources_.size() == 0) {
    raise_error(errors::render_no_data);
    return false;
  }

  data_.reset();
  data_.parse_files(datasources_, ParseMode::xml);
  if (!data_.self_check()) {
    if (data_.node_count() < 2) {
      raise_error(errors::render_data_unreadable);
    } else {
      raise_warning(warnings::part_of_data);
    }
    // Render what was loaded (possibly nothing) rather than nothing at all.
    data_.clear_status();
  }

  template_.load_template(path_with(".xsl"));
  if (template_.error >= 29 && template_.error <= 36) {
    raise_error(errors::render_template_errors);
  } else if (template_.error != 0) {
    raise_error(errors::render_template_fatal);
    return false;
  }

  template_.clear_status();
  XmlParser output;
  template_.set_data_tree(&data_);
  template_.execute(0, output, 0);
  if (template_.error >= 40 && template_.error <= 43) {
    raise_error(errors::render_execution_errors);
  } else if (template_.error != 0) {
    raise_error(errors::render_execution_fatal);
    return false;
  }

  // The page goes to a file beside its place and is renamed over it only
  // when complete: a run stopped or killed half-way leaves the earlier page.
  platform::FileReplacement page(path_with(".html").to_utf8());
  if (!page.ready() || !output.write_file(String(std::string_view(page.path())), 0, String()) ||
      !page.commit()) {
    raise_error(errors::render_output);
  }
  return self_check();
}

}  // namespace wayfetch
