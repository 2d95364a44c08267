// MainWindow's tree and commands: what the person does with the list.
#include <QCloseEvent>
#include <QFileDialog>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTreeWidget>

#include "config/config_text.h"
#include "core/string_table.h"
#include "ui/commands.h"
#include "ui/main_window.h"
#include "ui_main_window.h"

namespace wayfetch {
namespace {

QString qt_text(const String& text) {
  return QString::fromStdU16String(config_text::utf16_of(text));
}

MainWindow::NodeKind kind_of(const QTreeWidgetItem* node) {
  return static_cast<MainWindow::NodeKind>(node->data(0, MainWindow::kind_role).toInt());
}

// Holds the core's list lock from a successful take to the end of a scope.
class ListLock {
 public:
  ListLock(ApplicationCore* core, int32_t timeout_ms)
      : core_(core), held_(core != nullptr && core->lock_list(timeout_ms)) {}
  ~ListLock() {
    if (held_) core_->unlock_list();
  }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  bool held() const { return held_; }

 private:
  ApplicationCore* core_;
  bool held_;
};

}  // namespace

// ---- the tree ----

void MainWindow::fill_tree() {
  if (core_ == nullptr) return;
  filling_ = true;
  QTreeWidget* tree = ui_->tree;
  tree->clear();
  const QIcon enews_icon(":/wayfetch/icons/enews.svg");
  const QIcon item_icon(":/wayfetch/icons/item.svg");
  const QIcon oneshot_icon(":/wayfetch/icons/oneshot.svg");
  WayfetchConfiguration& config = core_->configuration();
  for (int32_t i = 0; i < config.count(); ++i) {
    const ENews& enews = config.at(i);
    auto* node = new QTreeWidgetItem(tree);
    node->setText(0, qt_text(enews.title));
    node->setData(0, name_role, QString::fromStdString(enews.name().to_utf8()));
    if (enews.oneshot) {
      // An unchecked box the person cannot tick: a one-shot eNews has no
      // items to choose.
      node->setData(0, kind_role, static_cast<int>(NodeKind::oneshot));
      node->setIcon(0, oneshot_icon);
      node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      node->setCheckState(0, Qt::Unchecked);
      continue;
    }
    node->setData(0, kind_role, static_cast<int>(NodeKind::enews));
    node->setIcon(0, enews_icon);
    for (int32_t k = 0; k < enews.item_count(); ++k) {
      const ENewsItem& item = enews.item(k);
      if (!item.is_visible()) continue;
      auto* child = new QTreeWidgetItem(node);
      child->setText(0, qt_text(item.title));
      child->setData(0, name_role, node->data(0, name_role));
      child->setData(0, kind_role, static_cast<int>(NodeKind::item));
      child->setIcon(0, item_icon);
      child->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      child->setCheckState(0, item.selected() ? Qt::Checked : Qt::Unchecked);
    }
  }
  tree->expandAll();
  filling_ = false;
}

int32_t MainWindow::enews_index(const QTreeWidgetItem* node) const {
  if (core_ == nullptr || node == nullptr) return -1;
  // Found by name, not by position: the list may have changed since the
  // tree was filled, and a mark must never land in another eNews.
  const std::string name = node->data(0, name_role).toString().toStdString();
  return core_->configuration().find(config_text::utf8_text(name));
}

void MainWindow::store_check_marks() {
  if (core_ == nullptr) return;
  QTreeWidget* tree = ui_->tree;
  for (int node_at = 0; node_at < tree->topLevelItemCount(); ++node_at) {
    const QTreeWidgetItem* node = tree->topLevelItem(node_at);
    const int32_t index = enews_index(node);
    if (index < 0 || kind_of(node) != NodeKind::enews) continue;
    ENews& enews = core_->configuration().at(index);
    // Each box goes into the next visible item, in order.
    int32_t k = 0;
    for (int child_at = 0; child_at < node->childCount(); ++child_at, ++k) {
      while (k < enews.item_count() && !enews.item(k).is_visible()) ++k;
      if (k >= enews.item_count()) break;
      enews.item(k).set_selected(node->child(child_at)->checkState(0) == Qt::Checked);
    }
  }
}

void MainWindow::item_changed(QTreeWidgetItem* node, int column) {
  if (filling_ || column != 0 || kind_of(node) != NodeKind::item) return;
  ListLock lock(core_, toggle_lock_ms);
  if (!lock.held()) {
    // An update holds the list: the box goes back to what it was.
    filling_ = true;
    node->setCheckState(0, node->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    filling_ = false;
    busy_message();
    return;
  }
  store_check_marks();
  core_->show_estimates();
}

QTreeWidgetItem* MainWindow::selected_top_node() const {
  QTreeWidgetItem* node = ui_->tree->currentItem();
  while (node != nullptr && node->parent() != nullptr) node = node->parent();
  return node;
}

QMenu* MainWindow::popup_for(const QTreeWidgetItem* node) const {
  if (node == nullptr) return nullptr;
  switch (kind_of(node)) {
    case NodeKind::enews:
      return enews_menu_;
    case NodeKind::oneshot:
      return oneshot_menu_;
    case NodeKind::item:
      break;
  }
  return nullptr;
}

bool MainWindow::request_popup(QTreeWidgetItem* node, const QPoint& where) {
  if (node == nullptr) return false;
  ui_->tree->setCurrentItem(node);
  QMenu* menu = popup_for(node);
  if (menu == nullptr) return false;
  // Only a test of the lock: the chosen command takes it again.
  if (!ListLock(core_, action_lock_ms).held()) {
    busy_message();
    return false;
  }
  menu->popup(where);
  return true;
}

void MainWindow::context_menu(const QPoint& position) {
  request_popup(ui_->tree->itemAt(position), ui_->tree->viewport()->mapToGlobal(position));
}

void MainWindow::set_selection_of_children(bool selected) {
  QTreeWidgetItem* node = selected_top_node();
  if (node == nullptr || kind_of(node) != NodeKind::enews) return;
  ListLock lock(core_, toggle_lock_ms);
  if (!lock.held()) {
    busy_message();
    return;
  }
  filling_ = true;
  for (int i = 0; i < node->childCount(); ++i) {
    node->child(i)->setCheckState(0, selected ? Qt::Checked : Qt::Unchecked);
  }
  filling_ = false;
  store_check_marks();
  core_->show_estimates();
}

void MainWindow::busy_message() {
  prompts_.message(strings::list_busy, PromptIcon::information);
}

// ---- commands ----

void MainWindow::update_now() {
  if (core_ != nullptr) core_->start_update(SyncMode::user);
}

void MainWindow::update_all() {
  if (core_ != nullptr) core_->update_all();
}

void MainWindow::add_enews_file() {
  if (core_ == nullptr) return;
  QString path;
  if (next_file_name_) {
    path = *next_file_name_;
    next_file_name_.reset();
  } else {
    path =
        QFileDialog::getOpenFileName(this, QString(), QString(),
                                     QString::fromUtf8(strings::window::enews_file_filter.data(),
                                                       strings::window::enews_file_filter.size()));
  }
  if (path.isEmpty()) return;
  bool added = false;
  {
    // Added as the subscription listener adds a file: queued and taken into
    // the list under the list lock, then saved.
    ListLock lock(core_, action_lock_ms);
    if (!lock.held()) {
      busy_message();
      return;
    }
    WayfetchConfiguration& config = core_->configuration();
    if (config.queue_description_file(config_text::utf8_text(path.toStdString()))) {
      const WayfetchConfiguration::AddResult result = config.add_queued();
      added = result.ok && result.added > 0;
      if (result.added > 0) {
        if (config.may_be_saved()) (void)config.save();
        fill_tree();
        core_->show_estimates();
      }
    }
  }
  if (!added) prompts_.message(strings::enews_file_not_added, PromptIcon::stop);
}

void MainWindow::unsubscribe() {
  QTreeWidgetItem* node = selected_top_node();
  if (core_ == nullptr || node == nullptr) return;
  ListLock lock(core_, action_lock_ms);
  if (!lock.held()) {
    busy_message();
    return;
  }
  const int32_t index = enews_index(node);
  if (index >= 0) {
    WayfetchConfiguration& config = core_->configuration();
    (void)config.at(index).delete_folder();
    (void)config.remove(index);
    if (config.may_be_saved()) (void)config.save();
  }
  delete node;
  core_->show_estimates();
}

void MainWindow::find_enews() {
  {
    // When an update holds the list the marks stay in the tree: the update
    // stored them when it started, and the page opens all the same.
    ListLock lock(core_, action_lock_ms);
    if (lock.held()) {
      store_check_marks();
      WayfetchConfiguration& config = core_->configuration();
      if (config.may_be_saved()) (void)config.save();
    }
  }
  open_page(WebPage::find_enews);
}

void MainWindow::open_page(WebPage page) {
  if (core_ == nullptr) return;
  const std::string address = web_address(core_->configuration().settings_store(), page);
  if (is_web_address(address)) open_address(address);
}

void MainWindow::open_help() {
  const std::string page = help_page_path();
  if (!page.empty()) open_address(page);
}

void MainWindow::open_address(const std::string& address) {
  if (opener_) (void)opener_(address);
}

void MainWindow::show_about() {
  QMessageBox::about(isVisible() ? this : nullptr, windowTitle(), about_text());
}

void MainWindow::open_window(bool foreground) {
  if (!foreground) setAttribute(Qt::WA_ShowWithoutActivating, true);
  showNormal();
  if (foreground) {
    raise();
    activateWindow();
  } else {
    setAttribute(Qt::WA_ShowWithoutActivating, false);
  }
}

void MainWindow::set_details(bool shown) {
  if (shown == details_shown_) return;
  details_shown_ = shown;
  details_action_->setChecked(shown);
  if (!shown) {
    recorded_tree_width_ = ui_->tree->width();
    details_delta_ = ui_->details->width() + ui_->columns->spacing();
    ui_->details->hide();
    resize(width() - details_delta_, height());
  } else {
    ui_->details->show();
    resize(width() + details_delta_, height());
    ui_->tree->resize(recorded_tree_width_, ui_->tree->height());
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (leaving_) {
    event->accept();
    return;
  }
  // Closing keeps the program running: in the notification area, or
  // minimised where the desktop has no such area.
  event->ignore();
  if (tray_ != nullptr && tray_->isVisible()) {
    hide();
  } else {
    showMinimized();
  }
}

}  // namespace wayfetch
