// TemplateRun: one execution of template nodes, and what instructions share.
//
// Internal to the rendering library. The run walks the template with an
// explicit stack of frames (one per instruction whose children are running),
// so the template's nesting never reaches the native stack. An instruction is
// a function that does its own output and answers with a Continuation: which
// children to run, with which current data node, how many times, and what to
// output after them. The run counts executed nodes and output nodes against
// the template's limits and stops with error 47 when one is spent.
#ifndef WAYFETCH_RENDERING_TEMPLATE_RUN_H
#define WAYFETCH_RENDERING_TEMPLATE_RUN_H

#include <cstdint>
#include <vector>

#include "core/storage.h"
#include "core/string.h"
#include "rendering/xsl_parser.h"

namespace wayfetch {

// What an instruction asks the run to do after its own output.
struct Continuation {
  bool run_children = false;
  int32_t current = -1;   // the current data node of the children
  bool for_each = false;  // run the children once per node of `passes`
  std::vector<int32_t> passes;
  int32_t loop_slot = -1;    // for_each: counts the passes
  bool has_closing = false;  // output `closing` once the children are done
  String closing;

  static Continuation children(int32_t current) {
    Continuation next;
    next.run_children = true;
    next.current = current;
    return next;
  }
  static Continuation none() { return Continuation(); }
};

class TemplateRun {
 public:
  TemplateRun(XslParser& tmpl, XmlParser& output, XmlParser& data)
      : tmpl_(tmpl), output_(output), data_(data) {}

  // Executes `node` and everything it asks for, with `current` as the
  // current data node.
  void run(int32_t node, int32_t current);

  XslParser& tmpl() { return tmpl_; }
  XmlParser& output() { return output_; }
  XmlParser& data() { return data_; }
  PictureIndex& pictures() { return tmpl_.pictures_; }

  // The request of the first attribute of `element` that carries one
  // (-1: none, -2: faulty).
  int32_t request_of(int32_t element) const;
  // The request of the first attribute named `name`; `found` tells whether
  // there is such an attribute.
  int32_t request_named(int32_t element, const char* name, bool& found) const;
  // The nodes `request` selects from `current`; errors quote `element`.
  void select(int32_t request, int32_t element, int32_t current, std::vector<int32_t>& out);
  // The request's nodes, or without a request the current node itself
  // (nothing for the document node or none).
  void select_or_current(int32_t request, int32_t element, int32_t current,
                         std::vector<int32_t>& out);

  // Takes `steps` more from the execution budget (work an instruction does
  // beyond its output); false, with error 47 quoting `node`, once it is spent.
  bool charge(int64_t steps, int32_t node);
  int64_t steps_left() const { return steps_left_; }

  // Warnings and errors quoting the template position of `node`.
  void warn(int32_t code, int32_t node);
  void fail(int32_t code, int32_t node);

  // Appends a text node holding `text`'s window to the output.
  void output_text(const String& text);
  // Copies a data subtree to the output; with a budget (`max_chars` >= 0),
  // text is cut so that `used` stays within it.
  void output_copy(int32_t data_node, int32_t max_chars, int32_t& used);
  // Appends `record` (a copy of a data node with new text) to the output.
  void output_record(const XmlNode& record);
  // Whether the output may grow further; false, with error 47 quoting
  // `node`, once its budget is spent. Instructions that output in a loop
  // ask after each piece.
  bool output_room(int32_t node);

 private:
  struct Frame {
    int32_t element = -1;  // the instruction whose children run
    int32_t next_child = 0;
    Continuation plan;
    std::size_t pass = 0;
  };

  // Executes one node; may push a frame for its children.
  void execute_node(int32_t node, int32_t current);
  // The document node: template pictures, then the first "xsl:stylesheet".
  void execute_document(int32_t current);
  void push(int32_t element, Continuation plan);
  // Runs the top frame's next child, or ends a pass or the frame.
  void advance();
  // Counts one executed node; false once the budget is spent.
  bool count_step(int32_t node);
  void check_output(int32_t node);
  // The first "xsl:stylesheet" element, -1 when there is none.
  int32_t stylesheet();

  XslParser& tmpl_;
  XmlParser& output_;
  XmlParser& data_;
  std::vector<Frame> frames_;
  Storage<int32_t> selection_;
  int32_t stylesheet_ = -2;  // not looked up yet
  int64_t steps_left_ = 0;
  int32_t counted_nodes_ = 0;  // output nodes whose bytes are counted
  int64_t output_bytes_ = 0;
  bool stopped_ = false;
};

// The instructions (rendering/instructions/*.cc). Each runs the instruction
// at template element `element` with `current` as the current data node.
Continuation run_copy(TemplateRun& run, int32_t element, int32_t current);
Continuation run_value_of(TemplateRun& run, int32_t element, int32_t current);
Continuation run_if_exist(TemplateRun& run, int32_t element, int32_t current, bool wanted);
Continuation run_for_each(TemplateRun& run, int32_t element, int32_t current);
Continuation run_context(TemplateRun& run, int32_t element, int32_t current);
Continuation run_img(TemplateRun& run, int32_t element, int32_t current);
Continuation run_anchor(TemplateRun& run, int32_t element, int32_t current, bool link);
Continuation run_date(TemplateRun& run, int32_t element, int32_t current);
// Reports the template's own pictures and turns their slashes into backslashes.
void process_template_pictures(XslParser& tmpl, const String& template_address,
                               PictureIndex& pictures);
// Reports a data picture: `address` made absolute against the nearest
// "incurl" above `picture_node`, in the section of the nearest "incsec".
// False when the address cannot be made absolute.
// `visited` receives the number of ancestors looked at.
bool report_data_picture(const XmlParser& data, int32_t picture_node, const String& address,
                         PictureIndex& pictures, int32_t& visited);

// Text helpers shared by the instructions.
// A copy of `text` in `like`'s encoding and code page (converted when they differ).
String in_encoding_of(const String& text, const String& like);
// An empty text in `like`'s encoding and code page, to append to.
String empty_like(const String& like);
// The decimal digits after leading blanks; -1 when there are none, values
// too large for 32 bits stay at the top of the range.
int32_t read_decimal(const String& text);
// The value of `element`'s first attribute named `name`, without raising.
bool attribute_value(const XmlParser& tree, int32_t element, const char* name, String& out);

}  // namespace wayfetch

#endif
