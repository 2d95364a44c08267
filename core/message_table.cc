#include "core/message_table.h"

#include <array>
#include <utility>

#include "core/error_codes.h"

namespace wayfetch::messages {
namespace {

constexpr std::pair<int32_t, std::string_view> error_texts[] = {
    {errors::string_allocation, "Error(core): Failed memory allocation in class String."},
    {errors::string_self_check, "Error(core): Failed self_check in class String."},
    {errors::string_unknown, "Error(core): Unknown error in class String."},
    {errors::encoding_not_supported, "Error(core): Text encoding not supported."},
    {errors::file_access, "Error(core): Could not access file."},
    {errors::out_of_string, "Error(core): Trying to access characters out of a string."},
    {errors::encoding_not_set,
     "Error(core): The text encoding is not set, but the operation needs it (MBCS string)."},
    {errors::unicode_conversion,
     "Error(core): Failed conversion to unicode. The resulting string may contain wrong "
     "characters."},
    {errors::storage_allocation, "Error(core): Failed memory allocation in class Storage."},
    {errors::storage_self_check, "Error(core): Failed self_check in class Storage."},
    {errors::storage_unknown, "Error(core): Unknown error in class Storage."},
    {errors::parse_no_such_node, "Error(parsing): Requested XML node does not exist in memory."},
    {errors::parse_bad_tag_name, "Error(parsing): Invalid or missing XML tag name."},
    {errors::parse_bad_attribute_name, "Error(parsing): Invalid attribute name."},
    {errors::parse_self_check, "Error(parsing): Failed self_check in class XmlParser."},
    {errors::parse_file_access, "Error(parsing): Could not access file."},
    {errors::parse_unknown, "Error(parsing): Unknown error in class XmlParser."},
    {errors::parse_unknown_end_tag, "Error(parsing): Closing an unknown node."},
    {errors::parse_open_comment, "Error(parsing): End of HTML-style comment not found."},
    {errors::parse_input_errors,
     "Error(parsing): The string to parse has errors. Parsing aborted."},
    {errors::parse_template_unreadable, "Error(parsing): Could no load template file for parsing."},
    {errors::parse_node_not_created,
     "Error(parsing): Error when creating a new XML node, attribute, text or comment or when "
     "filling an attribute value."},
    {errors::request_syntax, "Error(rendering): Syntax error in XSL request."},
    {errors::request_brackets,
     "Error(rendering): Parenthesis or brackets error while parsing XSL request."},
    {errors::request_no_identifier,
     "Error(rendering): Expected an identifier after # sign in XSL request sbscript."},
    {errors::request_end_of_text,
     "Error(rendering): Unexpected end of string while parsing XSL request."},
    {errors::request_unknown_loop_index,
     "Error(rendering): Using undefined loop index an XSL request subscript."},
    {errors::request_self_check,
     "Error(rendering): Failed self_check in class XslParser because of faulty XSL request "
     "nodes."},
    {errors::render_no_index_owner, "Error(rendering): Index attribute has no parent node."},
    {errors::request_not_implemented,
     "Error(rendering): Using an XSL request feature that is not implemented in the current "
     "version."},
    {errors::request_failed, "Error(rendering): Unknown error while executing an XSL request."},
    {errors::render_template_unreadable,
     "Error(rendering): Could not load XSL rendering template file."},
    {errors::render_not_executable,
     "Error(rendering): Cannot execute node because it does not exist or is not executable."},
    {errors::render_execution,
     "Error(rendering): Unknown error while executing XSL rendering template."},
    {errors::render_bad_address, "Error(rendering): Absolute url composition error."},
    {errors::thread_manager_unknown, "Error(core): Unknown error in class ThreadManager."},
    {errors::thread_manager_null_task,
     "Error(core): The thread manager has been passed a NULL task pointer."},
    {errors::wait_failed, "Error(core): Wait for synchronisation objects failed."},
    {errors::extract_engine_allocation,
     "Error(extraction): Failed memory allocation in class ExtractionEngine."},
    {errors::extract_template_unreadable,
     "Error(extraction): Could not load XML extraction template file."},
    {errors::extract_engine_unknown, "Error(extraction): Unknown error in class ExtractionEngine."},
    {errors::extract_wrong_selector, "Error(extraction): Wrong selector in current HTML page."},
    {errors::extract_url_parameter_missing,
     "Error(extraction): URL parameter not found (and needed)"},
    {errors::extract_begin_missing, "Error(extraction): Missing mandatory <BEGIN> argument."},
    {errors::extract_end_missing, "Error(extraction): Missing mandatory <END> argument."},
    {errors::extract_no_page,
     "Error(extraction): This action cannot be executed before an HTML page has been loaded "
     "with a \"follow\" action."},
    {errors::extract_iteration_set_missing, "Error(extraction): Iteration set not found."},
    {errors::extract_bad_from, "Error(extraction): wrong \"from\" parameter for an iteration."},
    {errors::extract_bad_max, "Error(extraction): wrong \"max\" parameter for an iteration."},
    {errors::extract_bad_address, "Error(extraction): Absolute url composition error."},
    {errors::extract_nested_section,
     "Error(extraction): Nodes owning an action=\"section\" cannot be nested."},
    {errors::extract_write_failed, "Error(extraction): Failed writing data to output XML file."},
    {errors::extract_output_write_failed,
     "Error(extraction): Failed writing data to output XML file."},
    {errors::extract_get_write_failed,
     "Error(extraction): Failed writing data dowloaded by an action=\"get\"."},
    {errors::extract_wait_failed, "Error(extraction): Waiting for a threaded task failed."},
    {errors::extract_reschedule_failed,
     "Error(extraction): Error while rescheduling threaded tasks."},
    {errors::extract_no_connection, "Error(extraction): No active internet connection."},
    {errors::extractor_allocation,
     "Error(extraction): Failed memory allocation in class Extractor."},
    {errors::extract_template_errors,
     "Error(extraction): Could not load XML extraction template file because of errors. "
     "Execution aborted."},
    {errors::extract_execution_errors,
     "Error(extraction): Errors occured while executing XML extraction template."},
    {errors::extract_execution_fatal,
     "Error(extraction): Fatal errors occured while executing XML extraction template. "
     "Execution aborted."},
    {errors::extract_page_errors, "Error(extraction): Current HTML page has errors."},
    {errors::extract_no_file_name,
     "Error(extraction): No filename specified for picture downloaded with action=\"get\"."},
    {errors::extract_include_errors,
     "Error(extraction): Error(s) occured while parsing external XML included with "
     "action=\"include\"."},
    {errors::extractor_unknown, "Error(extraction): Unknown error in class Extractor"},
    {errors::render_no_radix,
     "Error(rendering): Filename radix not specified when adding a datasource to the XSL "
     "rendering engine."},
    {errors::render_no_data,
     "Error(rendering): No XML data to render in the XSL rendering engine."},
    {errors::render_data_unreadable, "Error(rendering): Could not load any XML data files."},
    {errors::render_template_errors,
     "Error(rendering): Errors while loading XSL rendering template file."},
    {errors::render_template_fatal,
     "Error(rendering): Could not load XSL rendering template file because of errors. "
     "Execution aborted."},
    {errors::render_execution_errors,
     "Error(rendering): Errors occured while executing XSL rendering template."},
    {errors::render_execution_fatal,
     "Error(rendering): A fatal error occured while executing XSL rendering template."},
    {errors::render_output, "Error(rendering): Could not write output HTML file."},
    {errors::replicator_allocation,
     "Error(communication): Failed memory allocation in class WayfetchReplicator."},
    {errors::internet_invalid_url, "Invalid URL syntax."},
    {errors::internet_request_refused, "URL syntax is valid but there is some other problem."},
    {errors::internet_proxy_credentials, "Proxy asking for username/password."},
    {errors::internet_storage_failed, "Insufficient disk space for storing temporary files."},
    {errors::internet_invalid_header, "Invalid HTTP header."},
    {errors::internet_unknown, "Unknown error in class WebConnector."},
    {errors::internet_file_not_found, "File not found on server."},
    {errors::internet_server_credentials, "Server needs username/password."},
    {errors::internet_server_not_found, "Server not found."},
    {errors::internet_disabled, "HTTP requests are disabled."},
    {errors::internet_timed_out, "Timeout."},
    {errors::config_no_connection, "Error(configuration): No active internet connection."},
    {errors::config_invalid_file, "Error(configuration): Invalid configuration file."},
    {errors::config_file_missing, "Error(configuration): Could not find configuration file."},
    {errors::config_allocation,
     "Error(configuration): Failed memory allocation in class WayfetchConfiguration."},
    {errors::pipe_lost_connection, "Error(communication): Directional pipe lost connection."},
    {errors::pipe_same_direction,
     "Error(communication): Each end of the pipe wants to send or receive."},
    {errors::psion_error_event, "Error(psion): an error evnet occurred during last operation."},
};

constexpr std::pair<int32_t, std::string_view> warning_texts[] = {
    {warnings::past_end, "Warning(core): Cannot read past end of string (or before empty string)."},
    {warnings::empty_stack, "Warning(core): Popping empty stack: default object returned."},
    {warnings::attribute_no_value, "Warning(parsing): Attribute has no value."},
    {warnings::unclosed_above, "Warning(parsing): Unclosed XML node(s) above."},
    {warnings::no_encoding, "Warning(parsing): No text encoding found."},
    {warnings::unsupported_encoding, "Warning(parsing): Found an unsupported text encoding."},
    {warnings::tag_panic, "Warning(parsing): Panic while parsing a single HTML node."},
    {warnings::no_closing_bracket, "Warning(parsing): Expected > after </name but did not get it."},
    {warnings::bad_attribute_name, "Warning(parsing): Invalid attribute name."},
    {warnings::no_select,
     "Warning(rendering): XSL instruction has no select attribute (and needs one)."},
    {warnings::not_one_node,
     "Warning(rendering): An XSL request returned a collection of nodes when just one was "
     "needed."},
    {warnings::unknown_instruction, "Warning(rendering): Unknown XSL instruction (ignored)."},
    {warnings::nothing_to_wait_for,
     "Warning(core): The thread manager has been asked to wait for some threads but there was "
     "nothing to wait for."},
    {warnings::iterate_nothing,
     "Warning(extraction): action=\"iterate\" did not iterate because there was nothing to "
     "iterate on."},
    {warnings::follow_unused,
     "Warning(extraction): action=\"follow\" downloaded a page that was not used."},
    {warnings::empty_section,
     "Warning-serious(extraction): empty section. The part of the eNews corresponding to this "
     "section will not be built."},
    {warnings::section_not_executed,
     "Warning-serious(extraction): section not executed. The part of the eNews corresponding "
     "to this section will not be built."},
    {warnings::ignored_action_pairing,
     "Warning(extraction): Ignored action. See action pairing rules."},
    {warnings::ignored_action_aborted,
     "Warning(extraction): Ignored action. Previous action aborted the whole set."},
    {warnings::unknown_action, "Warning(extraction): Unknown action (ignored)."},
    {warnings::anchor_not_found,
     "Warning(extraction): Unable to find anchor in HTML page. Resetting to top of page."},
    {warnings::iteration_pass_limit, "Warning(extraction): an iteration stopped at its pass limit."},
    {warnings::failed_http_request, "Warning(extraction): Failed HTTP request."},
    {warnings::encoding_mismatch,
     "Warning(extraction): The text encoding found does not match the encoding of the template "
     "file. Some characters may be lost."},
    {warnings::unknown_encoding,
     "Warning(extraction): Unknown text encoding. Using encoding of template file."},
    {warnings::part_of_data, "Warning(rendering): Could not load part of XML data."},
    {warnings::too_many_redirections, "Warning(web): Too many redirections."},
    {warnings::log_target_not_web,
     "Warning(communication): Report target of the handheld log is not an http or https "
     "address; its counts are kept."},
    {warnings::lost_device, "Warning(communication): Lost connection to device."},
    {warnings::canceled, "Warning(communication): Canceled."},
    {warnings::log_records_damaged,
     "Warning(communication): Damaged handheld log records skipped (line: how many)."},
    {warnings::log_counts_unmapped,
     "Warning(communication): Handheld log counts without their report target kept as they "
     "are (line: how many)."},
    {warnings::device_file,
     "Warning(communication): Could not create file for database loaded from device."},
    {warnings::config_kept_as_backup,
     "Warning(configuration): Unreadable configuration file kept as config.xml.bak."},
};

constexpr std::array<std::string_view, table_size> build_table() {
  std::array<std::string_view, table_size> table{};
  for (const auto& [code, text] : error_texts) table[static_cast<std::size_t>(code)] = text;
  for (const auto& [code, text] : warning_texts) {
    table[static_cast<std::size_t>(warning_base + code)] = text;
  }
  table[line_break] = "\r\n";
  table[line_label] = "line: ";
  constexpr std::string_view digits = "0123456789";
  for (std::size_t d = 0; d < 10; ++d) table[digit_zero + d] = digits.substr(d, 1);
  table[warning_indent] = "       ";
  table[error_indent] = "     ";
  table[space] = " ";
  table[in_file] = " in file: ";
  table[url_label] = "URL: ";
  table[internet_prefix] = "Error(internet): ";
  return table;
}

constexpr std::array<std::string_view, table_size> table = build_table();

}  // namespace

std::string_view entry(int32_t index) {
  if (index < 0 || index >= table_size) return {};
  return table[static_cast<std::size_t>(index)];
}

std::string_view error_text(int32_t code) {
  if (code < 0 || code >= warning_base) return {};
  return entry(code);
}

std::string_view warning_text(int32_t code) {
  if (code < 0 || warning_base + code >= line_break) return {};
  return entry(warning_base + code);
}

}  // namespace wayfetch::messages
