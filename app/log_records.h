// The records of an error log ("error_log.txt", UTF-16LE after its
// byte-order mark, CR LF line ends; docs/error_log_format.md) as UTF-8 text
// with LF line ends, for a terminal or a cron mail.
#ifndef WAYFETCH_APP_LOG_RECORDS_H
#define WAYFETCH_APP_LOG_RECORDS_H

#include <string>

namespace wayfetch {

// The log at `path` as UTF-8 lines; "" when it cannot be read.
std::string log_records(const std::string& path);

}  // namespace wayfetch

#endif
