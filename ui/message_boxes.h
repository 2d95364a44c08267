// The message boxes of the window and its dialogs, and the conversions of
// the string table's UTF-8 texts into Qt's.
//
// Every box can be replaced for tests: a dialog that shows messages takes a
// MessageHook, called on the GUI thread with the string's identifier and
// the kind of box, in place of the modal box. GUI thread only.
#ifndef WAYFETCH_UI_MESSAGE_BOXES_H
#define WAYFETCH_UI_MESSAGE_BOXES_H

#include <cstdint>
#include <functional>
#include <string_view>

#include <QMessageBox>
#include <QString>

class QWidget;

namespace wayfetch {

// A string-table text (core/string_table.h) as a QString; "" when absent.
QString table_text(int32_t id);
QString qt_text(std::string_view utf8);

// Receives a message in place of its box: the string's identifier and icon.
using MessageHook = std::function<void(int32_t text_id, QMessageBox::Icon icon)>;

// Shows string `text_id` (then `appended`) in a modal box captioned `title`,
// owned by `owner` when it is visible (else by nobody, so the box is not
// hidden with a hidden window). With a hook set, the hook gets it instead.
void show_message(const MessageHook& hook, QWidget* owner, const QString& title, int32_t text_id,
                  QMessageBox::Icon icon, const QString& appended = {});

// `owner` when it is visible, else nullptr.
QWidget* visible_owner(QWidget* owner);

}  // namespace wayfetch

#endif
