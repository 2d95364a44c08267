// QtPrompts: the prompts of the update and the start-up (config/prompts.h)
// as the window's dialogs: message boxes and dialogs captioned with string
// 10133, owned by the owner widget (the main window) when it is visible.
//
// Threads: the object lives on the GUI thread. A prompt asked there is shown
// at once (a nested event loop: the window stays responsive). A prompt asked
// on another thread (the update's worker) is queued for the GUI thread,
// which takes it within serve_interval_ms, and the caller waits for the
// answer, as a blocking queued call would; unlike one, the wait ends at
// shut_down(), so a worker is never left waiting for a GUI thread that has
// stopped serving events. The queue is ours (a mutex and a condition
// variable), not Qt's cross-thread events, so every hand-over between the
// threads is one a race checker can see.
//
// Stop and exit: cancel_open() answers every open prompt as Cancel / No /
// "later" (the window calls it for Stop). shut_down() does the same, wakes
// every waiting caller with that answer and makes every later prompt answer
// it at once; call it before waiting for the update at exit. Passwords are
// only handed back to the caller.
#ifndef WAYFETCH_UI_QT_PROMPTS_H
#define WAYFETCH_UI_QT_PROMPTS_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <QObject>
#include <QPointer>

#include "config/prompts.h"

class QDialog;
class QTimer;
class QWidget;

namespace wayfetch {

class QtPrompts : public QObject, public Prompts {
  Q_OBJECT

 public:
  // How often the GUI thread looks for prompts from other threads.
  static constexpr int serve_interval_ms = 25;

  // REQUIRES: created on the GUI thread.
  explicit QtPrompts(QObject* parent = nullptr);
  // Shuts down (see shut_down()).
  ~QtPrompts() override;

  // The widget that owns the boxes while it is visible. GUI thread.
  void set_owner(QWidget* owner) { owner_ = owner; }
  // Any thread, any number of times.
  void shut_down();
  // Answers the prompts now open as Cancel / No / "later". GUI thread.
  void cancel_open();

  // ---- test hook ----
  // Runs each dialog in place of exec() and returns its result code; the
  // dialog counts as open meanwhile. GUI thread, before prompts come.
  using RunHook = std::function<int(QDialog& dialog)>;
  void set_run_hook(RunHook hook) { run_hook_ = std::move(hook); }

  void message(int32_t text_id, PromptIcon icon) override;
  void message_with_text(int32_t text_id, const String& appended, PromptIcon icon) override;
  QuestionAnswer question(int32_t text_id) override;
  bool yes_no(int32_t text_id) override;
  bool credentials(ProxyCredentials& credentials) override;
  NewVersionChoice new_version(const String& offered) override;
  bool notice(int32_t text_id) override;

 private:
  // What the waiting callers share with shut_down(); kept by shared
  // pointer so that a caller woken at the end may outlive the object.
  struct Waiting {
    std::mutex mutex;
    std::condition_variable answered;
    bool shut_down = false;
    std::deque<std::function<void()>> asked;  // prompts for the GUI thread
  };

  // Runs `show` on the GUI thread and returns its answer, or `fallback`
  // once shut down.
  template <typename T>
  T ask(std::function<T()> show, T fallback);
  // Shows `dialog` modally (or through the hook), counted as open.
  int run(QDialog& dialog);
  QWidget* owner() const;
  // GUI thread, on the timer: shows the queued prompts; after shut_down()
  // from another thread, answers the open ones and stops.
  void serve();

  std::shared_ptr<Waiting> waiting_ = std::make_shared<Waiting>();
  QPointer<QWidget> owner_;
  QTimer* serve_timer_ = nullptr;
  RunHook run_hook_;
  std::vector<QPointer<QDialog>> open_;  // GUI thread only
};

}  // namespace wayfetch

#endif
