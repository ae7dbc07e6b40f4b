#pragma once
// Message boxes: OK button only, no icon, the caption given. All of them go
// through showMessage(), which tests replace with an observer so that no
// modal box blocks them.
#include <QString>
#include <functional>

class QWidget;

namespace platform {

using MessageBoxFunction = std::function<void(const QString& text, const QString& caption)>;

void showMessage(const QString& text, const QString& caption, QWidget* parent = nullptr);
void setMessageBoxFunction(MessageBoxFunction function);  // empty restores the real box

}  // namespace platform
