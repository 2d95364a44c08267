// RenderingEngine: turns an eNews's XML data files into its HTML page.
//
// One engine serves one rendering: construct, set the radix (the eNews's
// folder and name, without extension), add the data sources, optionally set
// the picture target, render, destroy. The files are all named from the
// radix: data source x is radix + "." + x + ".xml" (so "data" is the main
// data file and "data0" the first section), the template radix + ".xsl", the
// output radix + ".html" (written beside it and renamed over it when
// complete, so an earlier page stays whole until then).
//
// The engine owns the data tree (every data file parsed into one table), the
// template (an XslParser) and, while rendering, the output tree. render()
// writes the output even after errors that do not stop it, and fails exactly
// when the engine's status holds an error at the end: 88 (a data source added
// without a radix), 89 (no data source), 90 (no data file could be loaded),
// 91 (faulty requests in the template), 92 (the template could not be
// loaded; stops), 93 (errors while executing), 94 (a fatal error while
// executing; stops), 95 (the output could not be written). Warning 40: part
// of the data could not be loaded. Not thread-safe: one thread renders.
#ifndef WAYFETCH_RENDERING_RENDERING_ENGINE_H
#define WAYFETCH_RENDERING_RENDERING_ENGINE_H

#include <cstdint>

#include "core/error_state.h"
#include "core/storage.h"
#include "core/string.h"
#include "rendering/picture_list.h"
#include "rendering/xsl_parser.h"
#include "xml/xml_parser.h"

namespace wayfetch {

class RenderingEngine : public ErrorState {
 public:
  // Empty radix and lists; seeds the template's random numbers (for
  // "[#random]") from the clock.
  RenderingEngine();
  RenderingEngine(const RenderingEngine&) = delete;
  RenderingEngine& operator=(const RenderingEngine&) = delete;

  void set_radix(const String& radix);
  // Adds radix + "." + name + ".xml" to the data files; error 88 without a radix.
  void add_datasource(const String& name);
  // Pictures are reported to `pictures`, which must outlive the rendering;
  // the template's own are resolved against `template_address`.
  void set_picture_target(PictureList& pictures, const String& template_address);
  // Renders radix + ".xsl" over the data into radix + ".html"; true when the
  // status holds no error at the end.
  bool render();

  const String& radix() const { return radix_; }
  const Storage<String>& datasources() const { return datasources_; }
  XmlParser& data_tree() { return data_; }
  XslParser& template_parser() { return template_; }

 private:
  String path_with(const char* suffix) const;

  String radix_;
  Storage<String> datasources_;
  XmlParser data_;
  XslParser template_;
};

}  // namespace wayfetch

#endif
