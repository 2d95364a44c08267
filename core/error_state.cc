#include "core/error_state.h"

#include "core/error_log.h"

namespace wayfetch {

void ErrorState::raise_error(int32_t code, int32_t a, int32_t b) {
  error = code;
  if (silent) return;
  if (ErrorLog* log = ErrorLog::instance()) log->write_error(code, a, b);
}

void ErrorState::raise_warning(int32_t code, int32_t a, int32_t b) {
  warning = code;
  if (silent || code == warnings::past_end) return;
  if (ErrorLog* log = ErrorLog::instance()) log->write_warning(code, a, b);
}

}  // namespace wayfetch
