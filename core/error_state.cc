#include "core/error_state.h"

#include "core/error_sink.h"

namespace wayfetch {

void ErrorState::raise_error(int32_t code, int32_t a, int32_t b) {
  error = code;
  if (silent) return;
  error_sink::write_error(code, a, b);
}

void ErrorState::raise_warning(int32_t code, int32_t a, int32_t b) {
  warning = code;
  // Warning 2 (reading past the end) is part of every scan's normal end: it
  // never reaches the sink, so scanning pays for no lock.
  if (silent || code == warnings::past_end) return;
  error_sink::write_warning(code, a, b);
}

}  // namespace wayfetch
