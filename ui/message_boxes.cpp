#include "ui/message_boxes.h"

#include <QWidget>

#include "core/string_table.h"

namespace wayfetch {

QString qt_text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString table_text(int32_t id) {
  return qt_text(strings::text(id));
}

QWidget* visible_owner(QWidget* owner) {
  return owner != nullptr && owner->isVisible() ? owner : nullptr;
}

void show_message(const MessageHook& hook, QWidget* owner, const QString& title, int32_t text_id,
                  QMessageBox::Icon icon, const QString& appended) {
  if (hook) {
    hook(text_id, icon);
    return;
  }
  QMessageBox box(icon, title, table_text(text_id) + appended, QMessageBox::Ok,
                  visible_owner(owner));
  box.exec();
}

}  // namespace wayfetch
