// MainWindow: the program's window. It shows the subscribed eNews as a tree
// with check boxes (regular eNews as top-level nodes with their visible
// items as checkable children mirroring "selected"; a one-shot eNews as a
// single unchecked node), the update's progress bar, status line and
// estimates, and the date of the last synchronisation; it carries the menu
// bar, the toolbar, the tree's two pop-up menus and the notification icon
// with its own pop-up. Every menu entry and button sends a command
// identifier (ui/commands.h) to run_command, the one table of actions.
//
// It is the program's front end (program/front_end.h): the application core
// reports to it as its UpdateObserver, and other starts of the program ask
// it to show itself or to end. The window changes the eNews list only while
// it holds the core's list lock, which it takes with a short time-out (50
// or 100 ms) and refuses with message 10135 when an update holds it; it
// never waits longer for it on the GUI thread.
//
// Threads: the widgets are touched only on the GUI thread (the thread that
// made the window). Observer and front-end calls from other threads are
// queued to it as events and return at once; store_selection, which the core calls on
// the thread that starts an update and whose result that thread needs,
// waits for the GUI thread to copy the check marks, but gives up as soon as
// the window is leaving its loop, so a thread the program joins at its stop
// is never left waiting for a loop that no longer runs.
//
// Ownership: the Prompts, the core and the settings store belong to the
// caller and must outlive the window (the host destroys the program before
// the window).
#ifndef WAYFETCH_UI_MAIN_WINDOW_H
#define WAYFETCH_UI_MAIN_WINDOW_H

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/application_core.h"
#include "program/front_end.h"
#include "ui/tray_animation.h"
#include "ui/web_addresses.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace Ui {
class MainWindow;
}

namespace wayfetch {

class MainWindow : public QMainWindow, public ProgramFrontEnd {
  Q_OBJECT

 public:
  // What a tree node stands for.
  enum class NodeKind : int32_t { enews = 0, item = 1, oneshot = 2 };
  // Node data: the eNews's name (every node) and its NodeKind.
  static constexpr int name_role = Qt::UserRole;
  static constexpr int kind_role = Qt::UserRole + 1;

  // The list lock's time-outs: a toggle of a check box; every other action.
  static constexpr int32_t toggle_lock_ms = 100;
  static constexpr int32_t action_lock_ms = 50;
  // The width of the details column, in dialog units (a quarter of the
  // font's average character width).
  static constexpr int32_t details_units = 95;

  // The controls the window shows, for the host and for tests.
  struct Controls {
    QTreeWidget* tree = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* status = nullptr;
    QLabel* time_label = nullptr;
    QLabel* time = nullptr;
    QLabel* size_label = nullptr;
    QLabel* size = nullptr;
    QLabel* last_sync_label = nullptr;
    QLabel* last_sync = nullptr;
    QWidget* details = nullptr;  // the column holding all of the above but the tree
  };

  explicit MainWindow(Prompts& prompts, QWidget* parent = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Connects the window to the core it shows and drives, before the core
  // is initialised; starts the notification icon's animation.
  void attach(ApplicationCore& core);

  // Runs command `id` (ui/commands.h); false for an unknown or disabled one.
  bool run_command(int32_t id);
  // Whether the menu entries and buttons of command `id` are enabled.
  bool command_enabled(int32_t id) const;

  const Controls& controls() const { return controls_; }
  bool details_shown() const { return details_shown_; }
  // The pop-up menu for a node: the regular eNews menu, the one-shot menu,
  // or nullptr for an item.
  QMenu* popup_for(const QTreeWidgetItem* node) const;
  // A right click on `node`: selects it and, when the list lock can be
  // taken within 50 ms, pops up its menu at `where` (not waiting for a
  // choice); message 10135 and no menu when the lock is busy. True when a
  // menu was shown.
  bool request_popup(QTreeWidgetItem* node, const QPoint& where);
  // The notification icon, or nullptr where the desktop has none.
  QSystemTrayIcon* tray() const { return tray_; }

  // Registers the icons compiled into the library (done by the constructor).
  static void load_resources();

  // The about box's text: "Wayfetch Version 3.2" and "Build 3251".
  static QString about_text();
  // The last synchronisation as shown: the locale's long date, a blank and
  // the time without seconds, in local time; "" for nullopt.
  static QString synchronisation_text(std::optional<Timestamp> time);

  // ---- hooks ----
  // The Quick publish and Configuration dialogs (empty: nothing happens).
  void set_quick_publish_hook(std::function<void()> hook) { quick_publish_ = std::move(hook); }
  void set_configuration_hook(std::function<void()> hook) { configuration_ = std::move(hook); }
  // How addresses reach the browser (default: the desktop's handler);
  // returns whether it was opened.
  void set_opener(std::function<bool(const std::string&)> opener) { opener_ = std::move(opener); }
  // For tests: the next open-file dialog answers `name` at once ("" =
  // Cancel) instead of showing itself.
  void set_next_file_name(const QString& name) { next_file_name_ = name; }

  // ---- UpdateObserver and ProgramFrontEnd; any thread ----
  void status(const StatusLine& line) override;
  void progress_range(int32_t files) override;
  void progress_position(int32_t position) override;
  void time_estimate(int32_t label_id, const std::string& time) override;
  void size_estimate(const std::string& size) override;
  void update_running(bool running) override;
  void last_synchronisation(std::optional<Timestamp> time) override;
  void list_changed() override;
  void store_selection() override;
  Prompts& prompts() override { return prompts_; }
  void show_requested(bool foreground) override;
  void exit_requested() override;

 Q_SIGNALS:
  // Exit was chosen or asked for: the host leaves its event loop.
  void leave_requested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Runs the work other threads queued (post, run_and_wait).
  bool event(QEvent* event) override;

 private:
  struct Gate;
  struct Command {
    int32_t id;
    std::function<void()> action;
  };

  // ---- building ----
  void make_commands();
  QAction* make_action(int32_t id, std::string_view text, const char* icon = nullptr);
  void make_menus();
  void make_toolbar();
  void make_tray();
  void apply_texts();

  // ---- the tree ----
  // Fills the tree from the list. REQUIRES: the list lock, or no update yet.
  void fill_tree();
  // Copies the check boxes into the list. REQUIRES: the list lock.
  void store_check_marks();
  void item_changed(QTreeWidgetItem* node, int column);
  void context_menu(const QPoint& position);
  // The eNews of a top-level node, or -1. REQUIRES: the list lock.
  int32_t enews_index(const QTreeWidgetItem* node) const;
  // The selected node's top-level node, or nullptr.
  QTreeWidgetItem* selected_top_node() const;

  // ---- commands ----
  void update_now();
  void update_all();
  void add_enews_file();
  void unsubscribe();
  void find_enews();
  void open_page(WebPage page);
  void open_help();
  void open_address(const std::string& address);
  void show_about();
  void leave();
  void open_window(bool foreground);
  void set_details(bool shown);
  void set_selection_of_children(bool selected);
  void set_command_enabled(int32_t id, bool enabled);
  void set_running(bool running);
  void animate_tray();

  // Runs `work` on the GUI thread: now when called there, else queued.
  void post(std::function<void()> work);
  // The same, waiting until it has run; gives up when the window leaves
  // its loop (the gate closes).
  void run_and_wait(std::function<void()> work);
  void busy_message();

  Prompts& prompts_;
  ApplicationCore* core_ = nullptr;
  std::unique_ptr<Ui::MainWindow> ui_;
  Controls controls_;
  std::map<int32_t, std::function<void()>> commands_;
  std::multimap<int32_t, QAction*> actions_;
  QMenu* enews_menu_ = nullptr;
  QMenu* oneshot_menu_ = nullptr;
  QMenu* tray_menu_ = nullptr;
  QAction* details_action_ = nullptr;
  QAction* tray_update_now_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QTimer tray_timer_;
  TrayAnimation animation_;
  std::shared_ptr<Gate> gate_;

  std::function<void()> quick_publish_;
  std::function<void()> configuration_;
  std::function<bool(const std::string&)> opener_;
  std::optional<QString> next_file_name_;

  bool filling_ = false;  // the tree is being changed by the program, not the person
  bool details_shown_ = true;
  int32_t details_delta_ = 0;  // how much narrower the window got without details
  int32_t recorded_tree_width_ = 0;
  bool leaving_ = false;
};

}  // namespace wayfetch

#endif
