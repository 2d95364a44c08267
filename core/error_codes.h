// The program's error and warning codes, one name per entry of the message
// table (core/message_table.h), and the code groups that decide what a log
// record quotes after the message.
//
// Errors and warnings are two number spaces: error n is message entry n,
// warning w is entry 128 + w. The numbers are part of the log format and of
// what callers test in ErrorState::error / ::warning; they never change.
// Codes listed here without a text in the table write only their number's
// empty entry. The groups (which codes take a line number, a file slot or an
// address slot) are defined here once; the log reads its record layout from
// them and the engines pass their arguments by them.
#ifndef WAYFETCH_CORE_ERROR_CODES_H
#define WAYFETCH_CORE_ERROR_CODES_H

#include <cstdint>

namespace wayfetch {

namespace errors {
// ---- core: text, files, lists (1-14) ----
inline constexpr int32_t string_allocation = 2;       // "Failed memory allocation in class String."
inline constexpr int32_t string_self_check = 3;       // bad arguments to a String operation
inline constexpr int32_t string_unknown = 4;          // mixed or invalid encodings
inline constexpr int32_t encoding_not_supported = 5;  // unknown code page
inline constexpr int32_t file_access = 6;             // "Could not access file."
inline constexpr int32_t out_of_string = 7;           // cursor before the text, short record
inline constexpr int32_t encoding_not_set = 8;        // MBCS text without a code page
inline constexpr int32_t unicode_conversion = 9;      // "Failed conversion to unicode..."
inline constexpr int32_t storage_allocation = 12;
inline constexpr int32_t storage_self_check = 13;
inline constexpr int32_t storage_unknown = 14;
// ---- parsing (17-27) ----
inline constexpr int32_t parse_no_such_node = 17;
inline constexpr int32_t parse_bad_tag_name = 18;
inline constexpr int32_t parse_bad_attribute_name = 19;
inline constexpr int32_t parse_self_check = 20;
inline constexpr int32_t parse_file_access = 21;
inline constexpr int32_t parse_unknown = 22;
inline constexpr int32_t parse_unknown_end_tag = 23;  // "Closing an unknown node."
inline constexpr int32_t parse_open_comment = 24;
inline constexpr int32_t parse_input_errors = 25;  // the text to parse holds an error
inline constexpr int32_t parse_template_unreadable = 26;
inline constexpr int32_t parse_node_not_created = 27;
// ---- rendering: XSL requests (30-42) and templates (45-48, 88-95) ----
inline constexpr int32_t request_syntax = 30;
inline constexpr int32_t request_brackets = 31;
inline constexpr int32_t request_no_identifier = 32;
inline constexpr int32_t request_end_of_text = 33;
inline constexpr int32_t request_unknown_loop_index = 34;
inline constexpr int32_t request_self_check = 35;
inline constexpr int32_t render_no_index_owner = 38;
inline constexpr int32_t request_not_implemented = 41;
inline constexpr int32_t request_failed = 42;
inline constexpr int32_t render_template_unreadable = 45;
inline constexpr int32_t render_not_executable = 46;
inline constexpr int32_t render_execution = 47;
inline constexpr int32_t render_bad_address = 48;
// ---- threads (51-53) ----
inline constexpr int32_t thread_manager_unknown = 51;
inline constexpr int32_t thread_manager_null_task = 52;
inline constexpr int32_t wait_failed = 53;
// ---- extraction (56-85) ----
inline constexpr int32_t extract_engine_allocation = 56;
inline constexpr int32_t extract_template_unreadable = 57;
inline constexpr int32_t extract_engine_unknown = 58;
inline constexpr int32_t extract_wrong_selector = 59;
inline constexpr int32_t extract_url_parameter_missing = 61;
inline constexpr int32_t extract_begin_missing = 62;
inline constexpr int32_t extract_end_missing = 63;
inline constexpr int32_t extract_no_page = 64;
inline constexpr int32_t extract_iteration_set_missing = 65;
inline constexpr int32_t extract_bad_from = 66;
inline constexpr int32_t extract_bad_max = 67;
inline constexpr int32_t extract_bad_address = 68;
inline constexpr int32_t extract_nested_section = 69;
inline constexpr int32_t extract_write_failed = 70;
inline constexpr int32_t extract_output_write_failed = 73;  // same text as 70
inline constexpr int32_t extract_get_write_failed = 74;
inline constexpr int32_t extract_wait_failed = 75;
inline constexpr int32_t extract_reschedule_failed = 76;
inline constexpr int32_t extract_no_connection = 77;
inline constexpr int32_t extractor_allocation = 78;
inline constexpr int32_t extract_template_errors = 79;
inline constexpr int32_t extract_execution_errors = 80;  // recorded, never written to the log
inline constexpr int32_t extract_execution_fatal = 81;
inline constexpr int32_t extract_page_errors = 82;
inline constexpr int32_t extract_no_file_name = 83;
inline constexpr int32_t extract_include_errors = 84;
inline constexpr int32_t extractor_unknown = 85;
// ---- rendering engine (88-95) ----
inline constexpr int32_t render_no_radix = 88;
inline constexpr int32_t render_no_data = 89;
inline constexpr int32_t render_data_unreadable = 90;
inline constexpr int32_t render_template_errors = 91;
inline constexpr int32_t render_template_fatal = 92;
inline constexpr int32_t render_execution_errors = 93;
inline constexpr int32_t render_execution_fatal = 94;
inline constexpr int32_t render_output = 95;
// ---- internet: the web connector's status codes (101-111) ----
inline constexpr int32_t internet_invalid_url = 101;
inline constexpr int32_t internet_request_refused = 102;  // "...some other problem."
inline constexpr int32_t internet_proxy_credentials = 103;
inline constexpr int32_t internet_storage_failed = 104;
inline constexpr int32_t internet_invalid_header = 105;
inline constexpr int32_t internet_unknown = 106;
inline constexpr int32_t internet_file_not_found = 107;
inline constexpr int32_t internet_server_credentials = 108;
inline constexpr int32_t internet_server_not_found = 109;
inline constexpr int32_t internet_disabled = 110;
inline constexpr int32_t internet_timed_out = 111;
// ---- configuration (114-117) ----
inline constexpr int32_t config_no_connection = 114;
inline constexpr int32_t config_invalid_file = 115;
inline constexpr int32_t config_file_missing = 116;
inline constexpr int32_t config_allocation = 117;
// ---- communication (98, 120-125) ----
inline constexpr int32_t replicator_allocation = 98;
inline constexpr int32_t pipe_lost_connection = 120;
inline constexpr int32_t pipe_same_direction = 121;
inline constexpr int32_t psion_error_event = 125;

// The first code past the error table: recorded, never written.
inline constexpr int32_t table_end = 127;
}  // namespace errors

namespace warnings {
inline constexpr int32_t past_end = 2;  // recorded, never written to the log
inline constexpr int32_t empty_stack = 5;
inline constexpr int32_t attribute_no_value = 8;
inline constexpr int32_t unclosed_above = 9;
inline constexpr int32_t no_encoding = 10;
inline constexpr int32_t unsupported_encoding = 11;
inline constexpr int32_t tag_panic = 12;
inline constexpr int32_t no_closing_bracket = 13;  // "Expected > after </name..."
inline constexpr int32_t bad_attribute_name = 14;
inline constexpr int32_t no_select = 17;
inline constexpr int32_t not_one_node = 18;
inline constexpr int32_t unknown_instruction = 19;
inline constexpr int32_t nothing_to_wait_for = 22;  // recorded, never written to the log
inline constexpr int32_t iterate_nothing = 25;
inline constexpr int32_t follow_unused = 26;
inline constexpr int32_t empty_section = 27;
inline constexpr int32_t section_not_executed = 28;
inline constexpr int32_t ignored_action_pairing = 29;
inline constexpr int32_t ignored_action_aborted = 30;
inline constexpr int32_t unknown_action = 31;
inline constexpr int32_t anchor_not_found = 32;
inline constexpr int32_t iteration_pass_limit = 33;
inline constexpr int32_t failed_http_request = 35;  // b: the internet error (101-111)
inline constexpr int32_t encoding_mismatch = 36;
inline constexpr int32_t unknown_encoding = 37;
inline constexpr int32_t part_of_data = 40;
inline constexpr int32_t too_many_redirections = 43;
// The handheld log (delivery/handheld_log.h): a report target that is no
// web address (a = address slot); damaged records skipped and counts kept
// without their report target (a = how many, b = file slot).
inline constexpr int32_t log_target_not_web = 45;
inline constexpr int32_t lost_device = 46;
inline constexpr int32_t canceled = 47;
inline constexpr int32_t log_records_damaged = 48;
inline constexpr int32_t log_counts_unmapped = 49;
inline constexpr int32_t device_file = 50;
// ---- configuration ----
inline constexpr int32_t config_kept_as_backup = 51;  // an unreadable config.xml moved aside

// The first code past the warning texts: recorded, never written.
inline constexpr int32_t table_end = 52;
}  // namespace warnings

// ---- code groups: what the arguments a and b of raise_error/raise_warning mean ----
namespace code_groups {

// What a record quotes after its message line.
enum class Location {
  none,           // nothing; a and b are not used
  line_and_file,  // a = line number, b = file slot (parsing, rendering, extraction)
  file,           // a = file slot
  address,        // a = address slot
};

// Internet errors (the web source's status codes): their records start with
// "Error(internet): ", and warning 35 takes one as b.
constexpr bool is_internet_error(int32_t code) {
  return code >= 100 && code <= 112;
}

// Errors written to the log: the table's codes but 80.
constexpr bool error_written(int32_t code) {
  return code >= 0 && code < errors::table_end && code != errors::extract_execution_errors;
}
constexpr Location error_location(int32_t code) {
  if ((code >= 16 && code <= 36) || (code >= 40 && code <= 49) || (code >= 55 && code <= 71)) {
    return Location::line_and_file;
  }
  if (code >= 1 && code <= 10) return Location::file;  // core text and files
  if (is_internet_error(code)) return Location::address;
  return Location::none;
}

// Warnings written to the log: the table's codes but 2 and 22.
constexpr bool warning_written(int32_t code) {
  return code >= 0 && code < warnings::table_end && code != warnings::past_end &&
         code != warnings::nothing_to_wait_for;
}
constexpr Location warning_location(int32_t code) {
  if ((code >= 7 && code <= 9) || (code >= 12 && code <= 20) || (code >= 24 && code <= 33) ||
      code == warnings::log_records_damaged || code == warnings::log_counts_unmapped) {
    return Location::line_and_file;
  }
  if (code == 10 || code == 11) return Location::file;
  if ((code >= 34 && code <= 38) || code == warnings::log_target_not_web) return Location::address;
  return Location::none;
}

}  // namespace code_groups

}  // namespace wayfetch

#endif
