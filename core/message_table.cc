#include "core/message_table.h"

#include <array>
#include <utility>

namespace wayfetch::messages {
namespace {

constexpr std::pair<int32_t, std::string_view> error_texts[] = {
    {2, "Error(core): Failed memory allocation in class String."},
    {3, "Error(core): Failed self_check in class String."},
    {4, "Error(core): Unknown error in class String."},
    {5, "Error(core): Text encoding not supported."},
    {6, "Error(core): Could not access file."},
    {7, "Error(core): Trying to access characters out of a string."},
    {8, "Error(core): The text encoding is not set, but the operation needs it (MBCS string)."},
    {9, "Error(core): Failed conversion to unicode. The resulting string may contain wrong "
        "characters."},
    {12, "Error(core): Failed memory allocation in class Storage."},
    {13, "Error(core): Failed self_check in class Storage."},
    {14, "Error(core): Unknown error in class Storage."},
    {17, "Error(parsing): Requested XML node does not exist in memory."},
    {18, "Error(parsing): Invalid or missing XML tag name."},
    {19, "Error(parsing): Invalid attribute name."},
    {20, "Error(parsing): Failed self_check in class XmlParser."},
    {21, "Error(parsing): Could not access file."},
    {22, "Error(parsing): Unknown error in class XmlParser."},
    {23, "Error(parsing): Closing an unknown node."},
    {24, "Error(parsing): End of HTML-style comment not found."},
    {25, "Error(parsing): The string to parse has errors. Parsing aborted."},
    {26, "Error(parsing): Could no load template file for parsing."},
    {27, "Error(parsing): Error when creating a new XML node, attribute, text or comment or when "
         "filling an attribute value."},
    {30, "Error(rendering): Syntax error in XSL request."},
    {31, "Error(rendering): Parenthesis or brackets error while parsing XSL request."},
    {32, "Error(rendering): Expected an identifier after # sign in XSL request sbscript."},
    {33, "Error(rendering): Unexpected end of string while parsing XSL request."},
    {34, "Error(rendering): Using undefined loop index an XSL request subscript."},
    {35, "Error(rendering): Failed self_check in class XslParser because of faulty XSL request "
         "nodes."},
    {38, "Error(rendering): Index attribute has no parent node."},
    {41, "Error(rendering): Using an XSL request feature that is not implemented in the current "
         "version."},
    {42, "Error(rendering): Unknown error while executing an XSL request."},
    {45, "Error(rendering): Could not load XSL rendering template file."},
    {46, "Error(rendering): Cannot execute node because it does not exist or is not executable."},
    {47, "Error(rendering): Unknown error while executing XSL rendering template."},
    {48, "Error(rendering): Absolute url composition error."},
    {51, "Error(core): Unknown error in class ThreadManager."},
    {52, "Error(core): The thread manager has been passed a NULL task pointer."},
    {53, "Error(core): Wait for synchronisation objects failed."},
    {56, "Error(extraction): Failed memory allocation in class ExtractionEngine."},
    {57, "Error(extraction): Could not load XML extraction template file."},
    {58, "Error(extraction): Unknown error in class ExtractionEngine."},
    {59, "Error(extraction): Wrong selector in current HTML page."},
    {61, "Error(extraction): URL parameter not found (and needed)"},
    {62, "Error(extraction): Missing mandatory <BEGIN> argument."},
    {63, "Error(extraction): Missing mandatory <END> argument."},
    {64, "Error(extraction): This action cannot be executed before an HTML page has been loaded "
         "with a \"follow\" action."},
    {65, "Error(extraction): Iteration set not found."},
    {66, "Error(extraction): wrong \"from\" parameter for an iteration."},
    {67, "Error(extraction): wrong \"max\" parameter for an iteration."},
    {68, "Error(extraction): Absolute url composition error."},
    {69, "Error(extraction): Nodes owning an action=\"section\" cannot be nested."},
    {70, "Error(extraction): Failed writing data to output XML file."},
    {73, "Error(extraction): Failed writing data to output XML file."},
    {74, "Error(extraction): Failed writing data dowloaded by an action=\"get\"."},
    {75, "Error(extraction): Waiting for a threaded task failed."},
    {76, "Error(extraction): Error while rescheduling threaded tasks."},
    {77, "Error(extraction): No active internet connection."},
    {78, "Error(extraction): Failed memory allocation in class Extractor."},
    {79, "Error(extraction): Could not load XML extraction template file because of errors. "
         "Execution aborted."},
    {80, "Error(extraction): Errors occured while executing XML extraction template."},
    {81, "Error(extraction): Fatal errors occured while executing XML extraction template. "
         "Execution aborted."},
    {82, "Error(extraction): Current HTML page has errors."},
    {83, "Error(extraction): No filename specified for picture downloaded with action=\"get\"."},
    {84, "Error(extraction): Error(s) occured while parsing external XML included with "
         "action=\"include\"."},
    {85, "Error(extraction): Unknown error in class Extractor"},
    {88, "Error(rendering): Filename radix not specified when adding a datasource to the XSL "
         "rendering engine."},
    {89, "Error(rendering): No XML data to render in the XSL rendering engine."},
    {90, "Error(rendering): Could not load any XML data files."},
    {91, "Error(rendering): Errors while loading XSL rendering template file."},
    {92, "Error(rendering): Could not load XSL rendering template file because of errors. "
         "Execution aborted."},
    {93, "Error(rendering): Errors occured while executing XSL rendering template."},
    {94, "Error(rendering): A fatal error occured while executing XSL rendering template."},
    {95, "Error(rendering): Could not write output HTML file."},
    {98, "Error(communication): Failed memory allocation in class WayfetchReplicator."},
    {101, "Invalid URL syntax."},
    {102, "URL syntax is valid but there is some other problem."},
    {103, "Proxy asking for username/password."},
    {104, "Insufficient disk space for storing temporary files."},
    {105, "Invalid HTTP header."},
    {106, "Unknown error in class WebConnector."},
    {107, "File not found on server."},
    {108, "Server needs username/password."},
    {109, "Server not found."},
    {110, "HTTP requests are disabled."},
    {111, "Timeout."},
    {114, "Error(configuration): No active internet connection."},
    {115, "Error(configuration): Invalid configuration file."},
    {116, "Error(configuration): Could not find configuration file."},
    {117, "Error(configuration): Failed memory allocation in class WayfetchConfiguration."},
    {120, "Error(communication): Directional pipe lost connection."},
    {121, "Error(communication): Each end of the pipe wants to send or receive."},
    {125, "Error(psion): an error evnet occurred during last operation."},
};

constexpr std::pair<int32_t, std::string_view> warning_texts[] = {
    {2, "Warning(core): Cannot read past end of string (or before empty string)."},
    {5, "Warning(core): Popping empty stack: default object returned."},
    {8, "Warning(parsing): Attribute has no value."},
    {9, "Warning(parsing): Unclosed XML node(s) above."},
    {10, "Warning(parsing): No text encoding found."},
    {11, "Warning(parsing): Found an unsupported text encoding."},
    {12, "Warning(parsing): Panic while parsing a single HTML node."},
    {13, "Warning(parsing): Expected > after </name but did not get it."},
    {14, "Warning(parsing): Invalid attribute name."},
    {17, "Warning(rendering): XSL instruction has no select attribute (and needs one)."},
    {18, "Warning(rendering): An XSL request returned a collection of nodes when just one was "
         "needed."},
    {19, "Warning(rendering): Unknown XSL instruction (ignored)."},
    {22, "Warning(core): The thread manager has been asked to wait for some threads but there was "
         "nothing to wait for."},
    {25, "Warning(extraction): action=\"iterate\" did not iterate because there was nothing to "
         "iterate on."},
    {26, "Warning(extraction): action=\"follow\" downloaded a page that was not used."},
    {27, "Warning-serious(extraction): empty section. The part of the eNews corresponding to this "
         "section will not be built."},
    {28, "Warning-serious(extraction): section not executed. The part of the eNews corresponding "
         "to this section will not be built."},
    {29, "Warning(extraction): Ignored action. See action pairing rules."},
    {30, "Warning(extraction): Ignored action. Previous action aborted the whole set."},
    {31, "Warning(extraction): Unknown action (ignored)."},
    {32, "Warning(extraction): Unable to find anchor in HTML page. Resetting to top of page."},
    {35, "Warning(extraction): Failed HTTP request."},
    {36, "Warning(extraction): The text encoding found does not match the encoding of the template "
         "file. Some characters may be lost."},
    {37, "Warning(extraction): Unknown text encoding. Using encoding of template file."},
    {40, "Warning(rendering): Could not load part of XML data."},
    {43, "Warning(web): Too many redirections."},
    {46, "Warning(communication): Lost connection to device."},
    {47, "Warning(communication): Canceled."},
    {50, "Warning(communication): Could not create file for database loaded from device."},
    {51, "Warning(configuration): Unreadable configuration file kept as config.xml.bak."},
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
