#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QThread>
#include <QToolBar>
#include <QTreeWidget>

#include <condition_variable>
#include <mutex>

#include "config/config_text.h"
#include "core/string_table.h"
#include "platform/launcher.h"
#include "ui/commands.h"
#include "ui_main_window.h"

// ThreadSanitizer cannot see the hand-over through Qt's event queue (Debian's
// Qt is not instrumented and its mutex waits on a futex directly), so work
// queued from another thread is marked as released once its event is
// complete, just before it is posted, and acquired when it runs: the
// sanitizer then sees the order there is, and still reports any other
// sharing.
#if defined(__SANITIZE_THREAD__)
#define WAYFETCH_QUEUE_ANNOTATIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WAYFETCH_QUEUE_ANNOTATIONS 1
#endif
#endif
#ifdef WAYFETCH_QUEUE_ANNOTATIONS
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

// Resources in a static library are registered by name, outside any namespace.
static void register_icons() {
  Q_INIT_RESOURCE(icons);
}

namespace wayfetch {
namespace {

// Work for the GUI thread, queued as an event of the window.
class WorkEvent : public QEvent {
 public:
  static QEvent::Type kind() {
    static const int registered = QEvent::registerEventType();
    return static_cast<QEvent::Type>(registered);
  }
  explicit WorkEvent(std::function<void()> work) : QEvent(kind()), work_(std::move(work)) {}
  void run() const { work_(); }

 private:
  std::function<void()> work_;
};

// The hand-over is marked on the receiving window's address.
void mark_posted([[maybe_unused]] QObject* receiver) {
#ifdef WAYFETCH_QUEUE_ANNOTATIONS
  __tsan_release(receiver);
#endif
}
void mark_received([[maybe_unused]] QObject* receiver) {
#ifdef WAYFETCH_QUEUE_ANNOTATIONS
  __tsan_acquire(receiver);
#endif
}

QString text_of(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
QString table_text(int32_t id) {
  return text_of(strings::text(id));
}

}  // namespace

// Whether the window still runs its loop, and the threads waiting in
// store_selection for it: closed once the window leaves its loop, which
// wakes every waiter.
struct MainWindow::Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool closed = false;

  void close() {
    {
      std::lock_guard hold(mutex);
      closed = true;
    }
    changed.notify_all();
  }
};

MainWindow::MainWindow(Prompts& prompts, QWidget* parent)
    : QMainWindow(parent),
      prompts_(prompts),
      ui_(std::make_unique<Ui::MainWindow>()),
      gate_(std::make_shared<Gate>()),
      opener_([](const std::string& target) { return platform::open_with_desktop(target).ok(); }) {
  load_resources();
  ui_->setupUi(this);
  controls_ = {ui_->tree,       ui_->progress, ui_->status,          ui_->time_label, ui_->time,
               ui_->size_label, ui_->size,     ui_->last_sync_label, ui_->last_sync,  ui_->details};
  setWindowTitle(table_text(strings::program_title));
  setWindowIcon(QIcon(":/wayfetch/icons/wayfetch.svg"));
  // The details column is 95 dialog units wide; a dialog unit is a quarter
  // of the font's average character width.
  const int unit_width = QFontMetrics(font()).averageCharWidth();
  ui_->details->setFixedWidth(details_units * unit_width / 4);
  apply_texts();
  make_commands();
  make_menus();
  make_toolbar();
  make_tray();
  set_running(false);
  connect(ui_->tree, &QTreeWidget::itemChanged, this, &MainWindow::item_changed);
  connect(ui_->tree, &QTreeWidget::customContextMenuRequested, this, &MainWindow::context_menu);
  connect(&tray_timer_, &QTimer::timeout, this, &MainWindow::animate_tray);
  if (QCoreApplication* application = QCoreApplication::instance()) {
    connect(application, &QCoreApplication::aboutToQuit, this, [this] { gate_->close(); });
  }
}

MainWindow::~MainWindow() {
  gate_->close();
}

void MainWindow::load_resources() {
  register_icons();
}

void MainWindow::leave() {
  leaving_ = true;
  gate_->close();
  Q_EMIT leave_requested();
}

void MainWindow::apply_texts() {
  ui_->last_sync_label->setText(text_of(strings::window::last_sync_label));
  ui_->last_sync->setText(text_of(strings::window::last_sync_unknown));
  ui_->size_label->setText(text_of(strings::window::total_size_label));
  ui_->time_label->setText(QString());
}

void MainWindow::attach(ApplicationCore& core) {
  core_ = &core;
  if (tray_ != nullptr) tray_timer_.start(TrayAnimation::step_ms);
}

// ---- the command table ----

void MainWindow::make_commands() {
  namespace c = commands;
  commands_ = {
      {c::update_now, [this] { update_now(); }},
      {c::update_all, [this] { update_all(); }},
      {c::stop,
       [this] {
         if (core_ != nullptr) core_->stop_update();
       }},
      {c::add_enews_file, [this] { add_enews_file(); }},
      {c::unsubscribe, [this] { unsubscribe(); }},
      {c::quick_publish,
       [this] {
         if (quick_publish_) quick_publish_();
       }},
      {c::configuration,
       [this] {
         if (configuration_) configuration_();
       }},
      {c::details, [this] { set_details(!details_shown_); }},
      {c::find_enews, [this] { find_enews(); }},
      {c::find_ebooks, [this] { open_page(WebPage::find_ebooks); }},
      {c::help, [this] { open_help(); }},
      {c::home_page, [this] { open_page(WebPage::home); }},
      {c::downloads_page, [this] { open_page(WebPage::downloads); }},
      {c::support_page, [this] { open_page(WebPage::support); }},
      {c::enews_catalogue, [this] { open_page(WebPage::enews_catalogue); }},
      {c::about, [this] { show_about(); }},
      {c::exit, [this] { leave(); }},
      {c::exit_from_tray, [this] { leave(); }},
      {c::hide, [this] { hide(); }},
      {c::open, [this] { open_window(true); }},
      {c::select_all, [this] { set_selection_of_children(true); }},
      {c::select_none, [this] { set_selection_of_children(false); }},
  };
}

bool MainWindow::run_command(int32_t id) {
  auto command = commands_.find(id);
  if (command == commands_.end() || !command_enabled(id)) return false;
  command->second();
  return true;
}

bool MainWindow::command_enabled(int32_t id) const {
  auto [first, last] = actions_.equal_range(id);
  for (auto it = first; it != last; ++it) {
    if (!it->second->isEnabled()) return false;
  }
  return true;
}

void MainWindow::set_command_enabled(int32_t id, bool enabled) {
  auto [first, last] = actions_.equal_range(id);
  for (auto it = first; it != last; ++it) it->second->setEnabled(enabled);
}

QAction* MainWindow::make_action(int32_t id, std::string_view text, const char* icon) {
  auto* action = new QAction(text_of(text), this);
  if (icon != nullptr) action->setIcon(QIcon(QString(":/wayfetch/icons/") + icon + ".svg"));
  // The command runs after the menu has closed, never inside its own signal.
  connect(action, &QAction::triggered, this, [this, id] { run_command(id); });
  actions_.emplace(id, action);
  return action;
}

void MainWindow::make_menus() {
  namespace c = commands;
  namespace w = strings::window;
  QMenu* file = menuBar()->addMenu(text_of(w::menu_file));
  file->addAction(make_action(c::update_now, w::update_now));
  file->addAction(make_action(c::update_all, w::update_all));
  file->addAction(make_action(c::stop, w::stop));
  file->addSeparator();
  file->addAction(make_action(c::add_enews_file, w::add_enews_file));
  file->addAction(make_action(c::unsubscribe, w::unsubscribe));
  file->addSeparator();
  file->addAction(make_action(c::exit, w::exit));
  QMenu* edit = menuBar()->addMenu(text_of(w::menu_edit));
  edit->addAction(make_action(c::quick_publish, w::quick_publish));
  edit->addAction(make_action(c::configuration, w::configuration));
  QMenu* view = menuBar()->addMenu(text_of(w::menu_view));
  details_action_ = make_action(c::details, w::details);
  details_action_->setCheckable(true);
  details_action_->setChecked(true);
  view->addAction(details_action_);
  QMenu* go = menuBar()->addMenu(text_of(w::menu_go));
  go->addAction(make_action(c::find_enews, w::find_enews));
  go->addAction(make_action(c::find_ebooks, w::find_ebooks));
  QMenu* help = menuBar()->addMenu(text_of(w::menu_help));
  help->addAction(make_action(c::help, w::help_page));
  QMenu* web = help->addMenu(text_of(w::on_the_web));
  web->addAction(make_action(c::home_page, w::home_page));
  web->addAction(make_action(c::downloads_page, w::downloads_page));
  web->addAction(make_action(c::support_page, w::support_page));
  web->addAction(make_action(c::enews_catalogue, w::enews_catalogue));
  help->addAction(make_action(c::about, w::about));

  enews_menu_ = new QMenu(this);
  enews_menu_->addAction(make_action(c::unsubscribe, w::unsubscribe));
  enews_menu_->addAction(make_action(c::select_all, w::select_all));
  enews_menu_->addAction(make_action(c::select_none, w::select_none));
  oneshot_menu_ = new QMenu(this);
  oneshot_menu_->addAction(make_action(c::unsubscribe, w::delete_oneshot));
}

void MainWindow::make_toolbar() {
  namespace c = commands;
  QToolBar* bar = addToolBar(QString());
  bar->setObjectName("commands");
  bar->setMovable(false);
  bar->setIconSize(QSize(32, 32));
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->addAction(make_action(c::update_now, strings::text(strings::toolbar_update_now), "update"));
  bar->addAction(make_action(c::stop, strings::text(strings::toolbar_stop), "stop"));
  bar->addSeparator();
  bar->addAction(
      make_action(c::find_enews, strings::text(strings::toolbar_find_enews), "find_enews"));
  bar->addAction(
      make_action(c::find_ebooks, strings::text(strings::toolbar_find_ebooks), "find_ebooks"));
  bar->addSeparator();
  bar->addAction(
      make_action(c::quick_publish, strings::text(strings::toolbar_quick_publish), "publish"));
}

void MainWindow::make_tray() {
  namespace c = commands;
  namespace w = strings::window;
  tray_menu_ = new QMenu(this);
  tray_menu_->addAction(make_action(c::open, w::tray_open));
  // Greyed by the animation's steps, from the job semaphore; not one of
  // the command's entries, so it never disables Update now elsewhere.
  tray_update_now_ = new QAction(text_of(w::update_now), this);
  connect(tray_update_now_, &QAction::triggered, this, [this] { run_command(c::update_now); });
  tray_menu_->addAction(tray_update_now_);
  tray_menu_->addAction(make_action(c::exit_from_tray, w::tray_exit));
  tray_menu_->addAction(make_action(c::about, w::about));
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(windowIcon(), this);
  tray_->setToolTip(table_text(strings::program_title));
  tray_->setContextMenu(tray_menu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick) run_command(commands::open);
  });
  tray_->show();
}

void MainWindow::animate_tray() {
  if (core_ == nullptr) return;
  const TrayAnimation::Step step = animation_.step(core_->update_running());
  tray_update_now_->setEnabled(step.update_now_enabled);
  if (!step.change || tray_ == nullptr) return;
  tray_->setIcon(step.icon == TrayAnimation::normal_icon
                     ? windowIcon()
                     : QIcon(QString(":/wayfetch/icons/busy%1.svg").arg(step.icon + 1)));
}

void MainWindow::set_running(bool running) {
  set_command_enabled(commands::update_now, !running);
  set_command_enabled(commands::update_all, !running);
  set_command_enabled(commands::stop, running);
}

// ---- the observer, on any thread ----

void MainWindow::post(std::function<void()> work) {
  if (QThread::currentThread() == thread()) {
    work();
    return;
  }
  auto* event = new WorkEvent(std::move(work));
  mark_posted(this);
  QCoreApplication::postEvent(this, event);
}

bool MainWindow::event(QEvent* event) {
  // Marked before the event's type is read: that too was written by the
  // thread that posted it.
  mark_received(this);
  if (event->type() != WorkEvent::kind()) return QMainWindow::event(event);
  static_cast<WorkEvent*>(event)->run();
  return true;
}

void MainWindow::status(const StatusLine& line) {
  post([this, text = line.text()] { ui_->status->setText(QString::fromStdString(text)); });
}

void MainWindow::progress_range(int32_t files) {
  post([this, files] { ui_->progress->setRange(0, files); });
}

void MainWindow::progress_position(int32_t position) {
  post([this, position] { ui_->progress->setValue(position); });
}

void MainWindow::time_estimate(int32_t label_id, const std::string& time) {
  post([this, label_id, time] {
    ui_->time_label->setText(table_text(label_id));
    ui_->time->setText(QString::fromStdString(time));
  });
}

void MainWindow::size_estimate(const std::string& size) {
  post([this, size] { ui_->size->setText(QString::fromStdString(size)); });
}

void MainWindow::update_running(bool running) {
  post([this, running] { set_running(running); });
}

void MainWindow::last_synchronisation(std::optional<Timestamp> time) {
  post([this, time] { ui_->last_sync->setText(synchronisation_text(time)); });
}

void MainWindow::list_changed() {
  // The caller holds the list lock (the update, a listener) until it
  // returns, so the GUI thread fills the tree while it still does.
  run_and_wait([this] { fill_tree(); });
}

void MainWindow::store_selection() {
  run_and_wait([this] { store_check_marks(); });
}

void MainWindow::run_and_wait(std::function<void()> work) {
  if (QThread::currentThread() == thread()) {
    work();
    return;
  }
  std::shared_ptr<Gate> gate = gate_;
  auto done = std::make_shared<bool>(false);
  auto* event = new WorkEvent([gate, done, work = std::move(work)] {
    work();
    std::lock_guard hold(gate->mutex);
    *done = true;
    gate->changed.notify_all();
  });
  mark_posted(this);
  QCoreApplication::postEvent(this, event);
  std::unique_lock hold(gate->mutex);
  // A closed gate leaves the queued call pending: it is dropped with the
  // window's events, or runs harmlessly later, writing only shared state.
  gate->changed.wait(hold, [&] { return *done || gate->closed; });
}

void MainWindow::show_requested(bool foreground) {
  post([this, foreground] { open_window(foreground); });
}

void MainWindow::exit_requested() {
  post([this] { leave(); });
}

QString MainWindow::synchronisation_text(std::optional<Timestamp> time) {
  if (!time) return QString();
  const QDateTime local = QDateTime::fromSecsSinceEpoch(time->to_unix()).toLocalTime();
  const QLocale locale;
  // The locale's short time picture, without seconds where it has them.
  QString picture = locale.timeFormat(QLocale::ShortFormat);
  picture.remove(QRegularExpression("[:.]?s+"));
  return locale.toString(local.date(), QLocale::LongFormat) + " " +
         locale.toString(local.time(), picture.trimmed());
}

QString MainWindow::about_text() {
  return text_of(strings::window::about_version).arg(3).arg(2) + "\n" +
         text_of(strings::window::about_build).arg(3251);
}

}  // namespace wayfetch
