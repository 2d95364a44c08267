#include "tests/support/fake_web_source.h"

#include <fstream>
#include <iterator>
#include <utility>

#include "core/file.h"
#include "web/url.h"

namespace wayfetch::testing {

void FakeWebSource::serve(const std::string& address, Answer answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_[address] = std::move(answer);
}

void FakeWebSource::serve_text(const std::string& address, std::string body) {
  Answer answer;
  answer.body = std::move(body);
  serve(address, std::move(answer));
}

void FakeWebSource::serve_file(const std::string& address, std::string path) {
  Answer answer;
  answer.file = std::move(path);
  serve(address, std::move(answer));
}

void FakeWebSource::serve_status(const std::string& address, int32_t status) {
  Answer answer;
  answer.status = status;
  serve(address, std::move(answer));
}

std::vector<std::string> FakeWebSource::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int32_t FakeWebSource::hits(const std::string& address) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int32_t count = 0;
  for (const std::string& request : requests_) {
    std::size_t blank = request.find(' ');
    std::string asked = request.substr(blank + 1, request.find(' ', blank + 1) - blank - 1);
    if (asked == address) ++count;
  }
  return count;
}

WebResult FakeWebSource::get(const WebRequest& request) {
  return answer(request, false);
}

WebResult FakeWebSource::post(const WebRequest& request) {
  return answer(request, true);
}

void FakeWebSource::abort_all() {
  std::lock_guard<std::mutex> lock(mutex_);
  aborted_ = true;
}

WebResult FakeWebSource::answer(const WebRequest& request, bool posting) {
  WebResult result;
  String absolute;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!posting) result.request_number = next_number_++;
  if (!resolve(request.base, request.address, absolute)) {
    result.status = errors::internet_invalid_url;
    return result;
  }
  result.final_address = absolute;
  std::string address = absolute.to_utf8();
  if (!posting && aborted_) {
    result.status = errors::internet_disabled;
    return result;
  }
  requests_.push_back((posting ? "POST " : "GET ") + address +
                      (posting ? " " + request.form_data.to_utf8() : std::string()));
  File& target = *request.target;
  target.truncate(0);
  auto found = answers_.find(address);
  if (found == answers_.end()) {
    result.status = errors::internet_file_not_found;
    return result;
  }
  const Answer& answer = found->second;
  if (!answer.final_address.empty()) result.final_address = String(answer.final_address);
  result.status = answer.status;
  if (answer.status != 0) return result;
  std::string body = answer.body;
  if (!answer.file.empty()) {
    std::ifstream in(answer.file, std::ios::binary);
    if (!in) {
      result.status = errors::internet_file_not_found;
      return result;
    }
    body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (target.write(body.data(), static_cast<int32_t>(body.size())) !=
      static_cast<int32_t>(body.size())) {
    target.truncate(0);
    result.status = errors::internet_storage_failed;
    return result;
  }
  target.seek(0, File::Origin::start);
  return result;
}

}  // namespace wayfetch::testing
