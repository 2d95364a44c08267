// ErrorState: the status header every core object starts with.
//
// A failing operation records a numbered code here (core/error_codes.h) and,
// unless the object is silent, hands one record to the current ErrorSink
// (core/error_sink.h; the program's is the error log, core/error_log.h;
// without a sink nothing is written). Errors and warnings are separate number
// spaces; the code in `error` is the result callers test. Not thread-safe by
// itself: an object's status belongs to the thread using the object.
#ifndef WAYFETCH_CORE_ERROR_STATE_H
#define WAYFETCH_CORE_ERROR_STATE_H

#include <cstdint>

#include "core/error_codes.h"

namespace wayfetch {

class ErrorState {
 public:
  // Records `code` in `error` and logs it. The meaning of `a` and `b` depends
  // on the code group: a line number and a context slot for parsing,
  // rendering and extraction codes; a context slot for core codes 1-10 and
  // internet codes 100-112. -1 = not given.
  void raise_error(int32_t code, int32_t a = -1, int32_t b = -1);
  // Records `code` in `warning` and logs it (warning 2 never reaches the log).
  void raise_warning(int32_t code, int32_t a = -1, int32_t b = -1);
  void clear_status() {
    error = 0;
    warning = 0;
  }
  // True when no error is recorded.
  bool self_check() const { return error == 0; }

  bool silent = false;  // record codes but write nothing to the log
  int32_t error = 0;    // the last error code, 0 when none
  int32_t warning = 0;  // the last warning code, 0 when none
};

}  // namespace wayfetch

#endif
