#pragma once
// A multi-line text box whose content, lengths, caret and selection are
// counted the way the program counts them: a line end is CR LF, two
// characters, whatever the editor widget keeps internally.
#include <QPlainTextEdit>

namespace platform {

class TextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);

    QString text() const;  // line ends as CR LF
    void setText(const QString& text);
    int textLength() const;

    int selStart() const;
    int selLength() const;
    void setSelStart(int position);   // collapses the selection there
    void setSelLength(int length);    // from the selection start
    // Replaces the selection (or inserts at the caret) and leaves the caret
    // after the inserted text.
    void setSelText(const QString& text);

private:
    int toCrLfPosition(int widgetPosition) const;
    int toWidgetPosition(int crLfPosition) const;
};

}  // namespace platform
