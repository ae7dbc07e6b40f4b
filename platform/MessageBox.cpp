#include "MessageBox.h"

#include <QMessageBox>

namespace platform {

namespace {
MessageBoxFunction& messageBoxFunction()
{
    static MessageBoxFunction function;
    return function;
}
}  // namespace

void setMessageBoxFunction(MessageBoxFunction function) { messageBoxFunction() = std::move(function); }

void showMessage(const QString& text, const QString& caption, QWidget* parent)
{
    if (messageBoxFunction()) {
        messageBoxFunction()(text, caption);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace platform
