// FakeWebSource: a WebSource that serves a table of addresses from memory
// or from files, with programmed statuses, for tests of what fetches.
//
// Addresses are resolved against the request's base as the connector
// resolves them (web/url.h) and looked up as absolute addresses. A known
// address answers its programmed status; status 0 writes its body (or the
// named file's bytes) to the target and rewinds it. An unknown address
// answers 107, as a server's 404 does; one that does not resolve answers
// 101. After abort_all every GET answers 110 (POSTs go on, as the
// connector's do). Requests are remembered in order. Thread-safe.
#ifndef WAYFETCH_TESTS_SUPPORT_FAKE_WEB_SOURCE_H
#define WAYFETCH_TESTS_SUPPORT_FAKE_WEB_SOURCE_H

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "web/web_source.h"

namespace wayfetch::testing {

class FakeWebSource : public WebSource {
 public:
  struct Answer {
    int32_t status = 0;  // what the call returns
    std::string body;    // the target's bytes when the status is 0
    std::string file;    // when set, the body is this file's bytes (107 when unreadable)
    // When set, the address the answer came from (a redirection's end).
    std::string final_address;
  };

  void serve(const std::string& address, Answer answer);
  void serve_text(const std::string& address, std::string body);
  void serve_file(const std::string& address, std::string path);
  void serve_status(const std::string& address, int32_t status);

  // "GET <absolute address>" or "POST <absolute address> <form data>" for
  // each call that resolved, in the order they came.
  std::vector<std::string> requests() const;
  // How many calls asked for `address`.
  int32_t hits(const std::string& address) const;

  WebResult get(const WebRequest& request) override;
  WebResult post(const WebRequest& request) override;
  void abort_all() override;

 private:
  WebResult answer(const WebRequest& request, bool posting);

  mutable std::mutex mutex_;
  std::map<std::string, Answer> answers_;
  std::vector<std::string> requests_;
  int32_t next_number_ = 0;
  bool aborted_ = false;
};

}  // namespace wayfetch::testing

#endif
