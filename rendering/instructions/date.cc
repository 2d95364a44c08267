// "xsl:date": today's date, with a Windows date picture in the user's locale.
#include "rendering/template_run.h"

namespace wayfetch {

Continuation run_date(TemplateRun& run, int32_t element, int32_t /*current*/) {
  String picture;
  attribute_value(run.tmpl(), element, "format", picture);  // none: the short date
  String date;
  if (date.format_date(picture)) return Continuation::none();  // the date could not be formatted
  run.output_text(in_encoding_of(date, run.tmpl().get(element).name));
  return Continuation::none();
}

}  // namespace wayfetch
