// What the Extractor does with a download that came back successfully,
// by the task's kind: a followed page (or a site page) is read as text and
// walked on, an included document is parsed and inserted, a picture is
// saved in the eNews folder. Each function takes the task's engine, the
// finished task and the object that reports the run's errors (the
// Extractor). A task whose request was detached (its iteration pass was
// rolled back) is dropped unread.
//
// Failures go to `reporter`: 82 a body that cannot be read as text, 81 (and
// the page is not used) when the engine still holds a fatal code (55-60)
// from an earlier step, 80 (recorded only) for any other code it holds,
// 68 a page's base address that does not resolve or leaves http/https on a
// page from the web, 84 an included document with parse errors or past the
// data documents' budgets (nothing is inserted), 83 a picture without a
// file name, 74 a picture that cannot be written; warnings 37 (a page
// naming an encoding the parser does not know) and 36 (a page whose
// encoding is not the template's), quoting the page's address.
//
// Files are written only inside the eNews folder, each to a new file beside
// its place that is renamed over it. The engine's thread only.
#ifndef WAYFETCH_EXTRACTION_TASK_RESULTS_H
#define WAYFETCH_EXTRACTION_TASK_RESULTS_H

#include "core/error_state.h"
#include "extraction/download_task.h"
#include "extraction/extraction_engine.h"

namespace wayfetch::extraction {

// follow: the continuation walk over the page; site page: the site-page step.
void take_page(ExtractionEngine& engine, ErrorState& reporter, DownloadTask& task);
// include: `incurl`/`incsec`, then the document's nodes.
void take_include(ExtractionEngine& engine, ErrorState& reporter, DownloadTask& task);
// get, and pictures listed at the end of an eNews: the body saved as the
// task's file (eNews folder + file name, or + listed_path).
void take_picture(ExtractionEngine& engine, ErrorState& reporter, DownloadTask& task);

}  // namespace wayfetch::extraction

#endif
