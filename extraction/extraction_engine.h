// ExtractionEngine: runs one eNews's extraction template.
//
// The template (radix + ".enews") is a model of the data documents with
// action elements in it (docs/extraction.md). The engine walks the
// template's nodes in document order, copies the model into the data
// documents and runs the actions on the current page. It never waits for
// the network: each download it needs is handed to a DownloadSink, and a
// followed page comes back later through continue_follow, which walks the
// rest of the follow's scope over that page. The main walk has no page.
//
// Use: load_template, run_main_walk; then, as the sink's downloads finish,
// continue_follow for followed pages, mark_include and insert_document for
// included documents, and task_done for every request, and
// write_ready_documents after each; all_written tells when every document
// is out. Without a sink every download fails (errors 77 and 58). The
// Extractor (extraction/extractor.h) drives an engine so.
//
// Web pages: once the walk runs over a page that came from http or https
// (or the template itself did, set_web_template), an address the page gives
// (an extract-url result, a "get-pics" src) that is not http or https is
// refused like one that does not resolve (error 68): a page cannot make the
// program read local files. Templates read from disk may use "file:".
//
// Output: radix + ".data.xml" and radix + ".data" + k + ".xml" per built
// section; each written once nothing is pending for it, beside its place and
// renamed over it. The language, the walk and the budgets are described in
// docs/extraction.md.
//
// Bounds: a walk stops with the fatal error 56 when it has visited too many
// template nodes or read too many page bytes, when a data document (or all
// of them held in memory together) would pass its node or byte budget, or
// when the run would begin too many sections (Limits); once stopped, the engine runs no more walks, and the
// documents keep what they hold. An iteration stops at its pass limit with
// warning 33 and keeps its passes. Nothing recurses on template or page
// depth.
//
// Failures are codes on this ErrorState, logged with the line of the
// template element and the template file: 56-69 and 77 as each action
// describes, 70 for a data document not written; warnings 25, 26, 29-33.
// A run writes at most Limits::messages records to the log (an iteration
// can repeat a message on every pass); later codes are only recorded here.
// Not thread-safe: one thread runs the engine (the Extractor's).
#ifndef WAYFETCH_EXTRACTION_EXTRACTION_ENGINE_H
#define WAYFETCH_EXTRACTION_EXTRACTION_ENGINE_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/error_state.h"
#include "core/string.h"
#include "core/text_scanner.h"
#include "extraction/data_documents.h"
#include "extraction/download_sink.h"
#include "extraction/extraction_template.h"
#include "extraction/page_text.h"
#include "extraction/url_registry.h"
#include "xml/xml_parser.h"

namespace wayfetch {

class ExtractionEngine : public ErrorState {
 public:
  struct Limits {
    int64_t walk_steps = int64_t{1} << 24;  // template nodes visited and actions run, per walk
    int64_t page_work = int64_t{1} << 32;   // page bytes searched and read, per walk
    int32_t passes = 10000;                 // passes of one iteration (then warning 33)
    int32_t sections = 1000;                // sections begun per run
    int32_t document_nodes = 1 << 20;       // nodes per data document
    int64_t document_bytes = int64_t{1} << 26;  // text bytes per data document
    int64_t held_nodes = int64_t{1} << 21;  // nodes of the data documents in memory together
    int64_t held_bytes = int64_t{1} << 27;  // their text bytes together
    int32_t messages = 10000;               // log records per run; later codes are only recorded
    int64_t site_anchors = 1000000;         // (address, anchor) pairs site downloads number
  };

  ExtractionEngine() = default;
  ExtractionEngine(const ExtractionEngine&) = delete;
  ExtractionEngine& operator=(const ExtractionEngine&) = delete;

  void set_limits(const Limits& limits) { limits_ = limits; }
  const Limits& limits() const { return limits_; }
  // The sink that takes downloads; nullptr (the default) means no connection.
  void set_sink(DownloadSink* sink) { sink_ = sink; }
  // One flag per item of the eNews: section k is built when flag k is set.
  // Sections beyond the flags are not built.
  void set_selection(std::vector<bool> items) { selection_ = std::move(items); }
  // The template itself came from the web (refreshed from an http or https
  // address): then none of its addresses may leave http and https.
  void set_web_template(bool web) { web_template_ = web; }
  bool web_template() const { return web_template_; }

  // Loads radix + ".enews" (radix: the eNews's folder and name without
  // extension). False with error 57 when it cannot be read, 79 when it has
  // errors; the engine then must not run.
  bool load_template(const String& radix);
  // The same with the template's text already in memory.
  bool load_template_text(const String& radix, TextScanner text);

  // Walks the whole template once, without a page.
  void run_main_walk();
  // Walks the rest of the scope of the follow that asked for `task` over the
  // downloaded `page`, whose address (`page_address`) resolves relative
  // addresses. The position starts after the first `a` tag named like the
  // task's anchor (else at the top, warning 32). Nothing happens for a
  // detached task or once the engine has stopped. Warning 26 when no action
  // used the page.
  void continue_follow(const DownloadRequest& task, const String& page,
                       const String& page_address);

  // Runs the site-page step of `task` over its downloaded `page`, whose
  // address (`page_address`) resolves its links: every picture (with
  // `get-pics`) and link of the page is registered, new ones are scheduled
  // (extraction/site_pages.cc), and the task's `page` element receives the
  // page's title, its body with links and pictures rewritten to local
  // names, and its anchor. Nothing happens for a detached task or once the
  // engine has stopped.
  void continue_site_page(const DownloadRequest& task, const String& page,
                          const String& page_address);

  // ---- included documents (include_documents.cc) ----
  // Gives the output element of the include `task` its attributes: `incurl`
  // = `final_address` and, inside section k, `incsec` = "0" followed by k.
  void mark_include(const DownloadRequest& task, const String& final_address);
  // Appends the top-level nodes of `document` with their subtrees under the
  // include's output element, but a first declaration or comment before the
  // first element, their texts in the template's encoding. They count
  // against the data documents' budgets as one: false, adding nothing, when
  // they would pass one (the engine goes on). True for a detached task.
  bool insert_document(const DownloadRequest& task, const XmlParser& document);

  // Whether a request's result may still be used (false once detached).
  bool task_live(int32_t ticket) const;
  // Counts a request done for the record that counted it pending; a ticket
  // is counted once.
  void task_done(int32_t ticket);
  // Whether any data document record still counts a download pending.
  bool downloads_pending() const;
  // Forgets every pending count, so that the documents can be written with
  // what they hold (the scheduler lost downloads it cannot wait for).
  void abandon_pending();
  // Writes the documents that have nothing pending (error 70 on failure).
  int32_t write_ready_documents() { return documents_.write_ready(*this); }
  bool all_written() const { return documents_.all_written(); }
  // True once a budget stopped the engine (or its template did not load).
  bool stopped() const { return stopped_; }

  extraction::DataDocuments& documents() { return documents_; }
  extraction::ExtractionTemplate& template_nodes() { return template_; }
  const extraction::ExtractionTemplate& template_nodes() const { return template_; }
  const std::string& radix() const { return radix_; }

 private:
  // Where copies go: a record and the last node created in its document.
  struct OutputContext {
    int32_t record = 0;
    int32_t last = 0;
  };
  // What a rolled back pass returns to.
  struct Snapshot {
    OutputContext out;
    int32_t nodes = 0;
    int32_t sections = 0;
    int32_t tickets = 0;
  };
  // An iteration frame or a section, open until the walk leaves its element.
  struct OpenScope {
    bool is_section = false;
    int32_t element = -1;
    int32_t line = 0;
    bool skipping = false;  // counts as one cause of skip mode while set
    // Sections: the output context to return to.
    OutputContext saved;
    // Iterations.
    int32_t set_node = -1;
    int32_t from = 0;
    int64_t stop_after = -1;  // from + max passes, -1: no limit
    int32_t passes = 0;
    bool finished = false;
    bool failed = false;
    bool pass_output_due = false;  // the next visit of the element begins a pass
    Snapshot pass_start;
  };
  struct Walk {
    extraction::PageText page;
    String address;
    int32_t scope_start = 0;
    int32_t scope_end = 0;
    int32_t position = -1;  // -1: unset (searches start at the scope's start)
    OutputContext out;
    int32_t skip_node = -1;
    int32_t skip_causes = 0;
    bool page_used = false;
    bool web_page = false;  // the page came from an http or https address
    std::vector<OpenScope> open;
    int32_t next = 0;  // document-order position of the next node to visit
    int64_t steps = 0;
    int64_t work = 0;
  };
  // The state of one run through an element's action list.
  struct ListRun {
    const extraction::ActionElement* element = nullptr;
    bool url_ran = false;
    bool url_failed = false;
    String url_found;
    int32_t output = -1;         // the output element made for this list
    int32_t before_output = -1;  // the last copy before it was made
    bool ended = false;
    bool follow_met = false;
    bool iteration_ended = false;
    Snapshot start;
  };
  struct Ticket {
    int32_t record = 0;
    bool detached = false;
    bool done = false;
  };

  bool start(const String& radix);
  bool loaded(extraction::ExtractionTemplate::Load result);

  // ---- the walk (extraction_walk.cc) ----
  void walk(int32_t start_node, int32_t scope_node);
  bool close_left_scopes(int32_t node);
  bool end_pass(OpenScope& frame);
  void roll_back(const Snapshot& snapshot);
  void close_section(const OpenScope& section);
  void visit(int32_t node);
  void run_list(int32_t node, const extraction::ActionElement& element);
  bool skip_mode() const { return walk_.skip_causes > 0; }
  Snapshot snapshot() const;

  // ---- output ----
  int32_t copy_parent(int32_t template_node);
  void copy_node(int32_t node);
  int32_t output_element(ListRun& list);
  void remove_output(ListRun& list);
  void append_text(ListRun& list, String text);
  String in_template_encoding(String text) const;
  // An ASCII text in the template's encoding.
  String template_text(const char* ascii) const;

  // ---- iterations and sections (extraction_scopes.cc) ----
  // False when the content is to be passed over (no iteration set, max 0).
  bool run_iterate(ListRun& list, int32_t node, bool output_point);
  void run_section(ListRun& list, int32_t node);
  void end_iteration_by_failure(ListRun& list, int32_t node);

  // ---- site downloads (site_pages.cc) ----
  // What registering an address needs of the download-site that asked.
  struct SiteContext {
    int32_t action_node = -1;
    int32_t line = 0;
    int32_t element = -1;  // the download-site output element
  };
  void run_download_site(ListRun& list);
  // Whether a site download may register `absolute`: http and https, and
  // file addresses only where the walk may fetch them.
  bool site_registrable(const String& absolute) const;
  // `link` (a page's link or picture address) resolved against the page, its
  // anchor split off; false when it cannot be registered.
  bool site_address(const String& link, String& absolute, String& anchor) const;
  // Registers (absolute, anchor) as a page (depth: the levels it may still
  // take) or a picture, scheduling a new address; the pair's number, or
  // UrlRegistry::none. `picture_name` receives a picture's file name
  // (empty when the address is no picture).
  uint32_t site_register(const SiteContext& site, const String& absolute, const String& anchor,
                         bool picture, int32_t depth, std::string* picture_name);

  // ---- page actions (page_actions.cc) ----
  bool run_goto(const ListRun& list);
  void run_goto_top();
  bool run_goto_scope(const ListRun& list);
  bool run_erase(const ListRun& list, bool remove);
  bool run_extract(ListRun& list);
  bool run_extract_url(ListRun& list, int32_t node);
  void run_write(ListRun& list);
  int32_t effective_start() const;
  bool markers_given(const ListRun& list);
  bool find(const String& marker, int32_t from, int32_t last_start, bool case_sensitive,
            extraction::Match& match);
  void shift_after_edit(int32_t start, int32_t end, int32_t new_length);
  void first_text(int32_t& start, int32_t& end);
  void get_pics(const ListRun& list, int32_t start, int32_t& end);
  bool read_tag(int32_t from, extraction::PageTag& tag);

  // ---- downloads (download_actions.cc) ----
  // `address` resolved against the current page's address: every address
  // the actions use or write goes through here.
  bool absolute_address(const String& address, String& absolute) const;
  // Whether an address the walk is about to fetch may be fetched: from a
  // page that came from the web (`from_page`: the page named it) or from a
  // template that did, only http and https addresses.
  bool may_fetch(const String& absolute, bool from_page) const;
  bool request_address(const ListRun& list, DownloadKind kind, DownloadRequest& request);
  bool schedule(ListRun& list, DownloadKind kind, int32_t output_node);
  bool hand_to_sink(DownloadRequest& request, int32_t line);
  void place_at_anchor(const String& anchor, int32_t line);

  // ---- budgets and messages ----
  bool spend_step(int32_t line);
  bool page_work_left(int32_t line);
  void stop(int32_t line);
  void error_at(int32_t code, int32_t line);
  void warning_at(int32_t code, int32_t line);
  // Whether one more record may reach the log (counts it).
  bool message_allowed();

  Limits limits_;
  DownloadSink* sink_ = nullptr;
  std::vector<bool> selection_;
  bool web_template_ = false;
  std::string radix_;
  String enews_name_;
  extraction::ExtractionTemplate template_;
  extraction::DataDocuments documents_;
  std::vector<Ticket> tickets_;
  std::unordered_map<int32_t, String> last_address_;
  XmlParser tags_;
  extraction::UrlRegistry registry_;
  Walk walk_;
  bool stopped_ = false;
  int32_t messages_ = 0;
};

}  // namespace wayfetch

#endif
