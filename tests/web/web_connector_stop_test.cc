// Time-outs, abort_all from other threads, size limits and many threads on
// one connector.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/sync.h"
#include "tests/web/connector_fixture.h"

namespace wayfetch::testing {
namespace {

using Clock = std::chrono::steady_clock;

int64_t ms_since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class StopTest : public ConnectorTest {
 protected:
  void SetUp() override {
    ConnectorTest::SetUp();
    route("/page.html", TestResponse::html("<p>page</p>"));
    // Headers at once, then 100 bytes every 100 ms for 3 seconds.
    TestResponse slow = TestResponse::typed("image/png", "");
    slow.generated_length = 3000;
    slow.piece_size = 100;
    slow.piece_delay_ms = 100;
    route("/slow", slow);
    TestResponse stall;
    stall.stall = true;
    route("/stall", stall);
    TestResponse late_redirect = TestResponse::redirect(302, "/page.html");
    late_redirect.delay_ms = 50;
    route("/late-redirect", late_redirect);
  }

  // Waits until the server has seen `count` requests.
  void wait_for_requests(std::size_t count) {
    Clock::time_point start = Clock::now();
    while (server_->requests().size() < count && ms_since(start) < 5000) sleep(5);
    ASSERT_GE(server_->requests().size(), count);
  }
};

TEST_F(StopTest, RequestTimeOutEndsReadingWith111) {
  Clock::time_point start = Clock::now();
  EXPECT_EQ(fetch("/slow", 2, 300), 111);
  EXPECT_LT(ms_since(start), 1500);

  // The connector's request time-out applies when the call gives none.
  connector_.set_timeouts(5000, 5000, 300);
  start = Clock::now();
  EXPECT_EQ(fetch("/slow", 2), 111);
  EXPECT_LT(ms_since(start), 1500);
  // ...and a time-out of the call replaces it.
  EXPECT_EQ(fetch("/late-redirect", 1, 2000), 0);
  EXPECT_EQ(rest_of_target(), "<p>page</p>");
}

TEST_F(StopTest, TimeOutBeforeTheAnswerIsAFailedSend) {
  Clock::time_point start = Clock::now();
  EXPECT_EQ(fetch("/stall", 1, 300), 106);
  EXPECT_LT(ms_since(start), 1500);
}

TEST_F(StopTest, AbortAllEndsRequestsInProgressPromptly) {
  int32_t reading[2] = {-1, -1};
  int32_t waiting = -1;
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&, i] {
      File target;
      ASSERT_TRUE(target.open_temporary());
      reading[i] = connector_.get(get_request(url("/slow"), target, 2)).status;
    });
  }
  threads.emplace_back([&] {
    File target;
    ASSERT_TRUE(target.open_temporary());
    waiting = connector_.get(get_request(url("/stall"), target, 1)).status;
  });
  wait_for_requests(3);
  sleep(150);  // the slow bodies are being read
  EXPECT_EQ(connector_.open_requests(), 3);

  Clock::time_point start = Clock::now();
  connector_.abort_all();
  for (std::thread& thread : threads) thread.join();
  EXPECT_LT(ms_since(start), 500);
  EXPECT_EQ(reading[0], 111);
  EXPECT_EQ(reading[1], 111);
  EXPECT_EQ(waiting, 106);
  EXPECT_EQ(connector_.open_requests(), 0);

  // Later requests end at once, without asking the server.
  std::size_t asked = server_->requests().size();
  start = Clock::now();
  EXPECT_EQ(fetch("/page.html"), 110);
  EXPECT_EQ(final_address(), url("/page.html"));
  EXPECT_LT(ms_since(start), 100);
  EXPECT_EQ(server_->requests().size(), asked);
}

TEST_F(StopTest, AbortAfterARedirectionDisablesTheNextStep) {
  // The redirection's headers arrive at once and its body slowly; the abort
  // comes while the body is dropped. The redirection stands, and the step
  // it leads to is refused.
  TestResponse redirect = TestResponse::redirect(302, "/page.html");
  redirect.generated_length = 2000;
  redirect.piece_size = 100;
  redirect.piece_delay_ms = 100;
  route("/slow-redirect", redirect);
  std::thread aborter([&] {
    wait_for_requests(1);
    sleep(150);
    connector_.abort_all();
  });
  EXPECT_EQ(fetch("/slow-redirect"), 110);
  aborter.join();
  EXPECT_EQ(final_address(), url("/page.html"));
  EXPECT_EQ(server_->hits("/page.html"), 0);
}

TEST_F(StopTest, ManyThreadsShareOneConnector) {
  constexpr int thread_count = 9;
  constexpr int rounds = 12;
  std::string picture(100 * 1024, 'p');
  route("/picture.png", TestResponse::typed("image/png", picture));
  std::atomic<int> failures{0};
  std::vector<int32_t> numbers;
  std::mutex numbers_mutex;
  std::vector<std::thread> threads;
  for (int t = 0; t < thread_count; ++t) {
    threads.emplace_back([&, t] {
      File target;
      if (!target.open_temporary()) {
        ++failures;
        return;
      }
      for (int i = 0; i < rounds; ++i) {
        bool want_picture = (t + i) % 3 == 0;
        WebRequest request =
            get_request(want_picture ? "picture.png" : "page.html", target, want_picture ? 3 : 1);
        request.base = String(url("/"));
        WebResult result = connector_.get(request);
        int32_t status = result.status;
        std::string body(static_cast<std::size_t>(target.size()), '\0');
        target.read(body.data(), static_cast<int32_t>(body.size()));
        if (status != 0 || body != (want_picture ? picture : std::string("<p>page</p>"))) {
          ++failures;
        }
        std::lock_guard<std::mutex> lock(numbers_mutex);
        numbers.push_back(result.request_number);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  // Every request had its own number.
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
  EXPECT_EQ(numbers.size(), static_cast<std::size_t>(thread_count * rounds));
  // Connections were reused rather than opened per request.
  EXPECT_LE(server_->connections(), 2 * thread_count);
}

TEST_F(StopTest, AbortWhileManyThreadsFetch) {
  TestResponse slowish = TestResponse::html("<p>slowish</p>");
  slowish.delay_ms = 10;
  route("/slowish", slowish);
  std::atomic<int> unexpected{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 9; ++t) {
    threads.emplace_back([&] {
      File target;
      if (!target.open_temporary()) return;
      for (;;) {
        int32_t status = connector_.get(get_request(url("/slowish"), target, 1)).status;
        if (status == 0) continue;
        if (status != 110 && status != 106 && status != 111) ++unexpected;
        return;
      }
    });
  }
  sleep(100);
  Clock::time_point start = Clock::now();
  connector_.abort_all();
  for (std::thread& thread : threads) thread.join();
  EXPECT_LT(ms_since(start), 1000);
  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_EQ(connector_.open_requests(), 0);
}

TEST_F(StopTest, DestroyingTheConnectorEndsItsRequests) {
  auto connector = std::make_unique<WebConnector>();
  connector->set_proxy(WebConnector::ProxyMode::none, String(), String(), String());
  int32_t status = -1;
  std::thread user([&] {
    File target;
    ASSERT_TRUE(target.open_temporary());
    status = connector->get(get_request(url("/stall"), target, 1)).status;
  });
  wait_for_requests(1);
  connector.reset();
  user.join();
  EXPECT_EQ(status, 106);
}

TEST_F(StopTest, OversizedAnswersAreRefused) {
  // A declared length above the limit is refused before the body is read.
  TestResponse declared = TestResponse::typed("image/png", "");
  declared.generated_length = WebConnector::max_body_bytes + 1;
  declared.piece_size = 1 << 20;
  route("/declared", declared);
  // Without a length the limit is found while reading.
  TestResponse streamed = declared;
  streamed.send_length = false;
  route("/streamed", streamed);
  TestResponse endless;
  endless.endless_headers = true;
  route("/endless-headers", endless);

  for (const char* path : {"/declared", "/streamed"}) {
    SCOPED_TRACE(path);
    target_.truncate(0);
    target_.write("old", 3);
    EXPECT_EQ(fetch(path, 2), 104);
    EXPECT_EQ(target_.size(), 0);
  }
  EXPECT_EQ(fetch("/endless-headers", 2), 105);
}

TEST_F(StopTest, ShortWriteEmptiesTheFile) {
  route("/picture.gif", TestResponse::typed("image/gif", std::string(3000, 'g')));
  // Files of this process may not grow past 1000 bytes for a moment: the
  // write fails as on a full disk.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int32_t status = fetch("/picture.gif", 2);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(status, 104);
  EXPECT_EQ(target_.size(), 0);
}

}  // namespace
}  // namespace wayfetch::testing
