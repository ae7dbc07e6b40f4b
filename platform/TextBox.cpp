#include "TextBox.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace platform {

namespace {
const QString kCrLf = QStringLiteral("\r\n");

// The widget's paragraph separator stands for CR LF; a CR or LF on its own
// cannot be shown by the widget and is kept as a paragraph break too.
QString toWidgetText(QString text)
{
    text.replace(kCrLf, QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
}  // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setUndoRedoEnabled(false);
    // Decoded text has no use for a typed TAB; the key moves on to the next
    // control, so that every button can be reached from the keyboard.
    setTabChangesFocus(true);
}

QString TextBox::text() const
{
    QString plain = toPlainText();
    plain.replace(QLatin1Char('\n'), kCrLf);
    return plain;
}

void TextBox::setText(const QString& text) { setPlainText(toWidgetText(text)); }

int TextBox::textLength() const
{
    // One character per widget position plus one more for every line end.
    return document()->characterCount() - 1 + document()->blockCount() - 1;
}

int TextBox::toCrLfPosition(int widgetPosition) const
{
    const QTextBlock block = document()->findBlock(widgetPosition);
    return widgetPosition + (block.isValid() ? block.blockNumber() : document()->blockCount() - 1);
}

int TextBox::toWidgetPosition(int crLfPosition) const
{
    int position = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const int lineLength = block.length() - 1;
        if (crLfPosition <= lineLength || !block.next().isValid())
            return position + std::min(crLfPosition, lineLength);
        // Past this line: skip its text and its two-character line end; a
        // position between CR and LF counts as the end of the line.
        crLfPosition -= lineLength + 2;
        position += lineLength + 1;
        if (crLfPosition < 0) return position - 1;
    }
    return position;
}

int TextBox::selStart() const { return toCrLfPosition(textCursor().selectionStart()); }

int TextBox::selLength() const
{
    const QTextCursor cursor = textCursor();
    return toCrLfPosition(cursor.selectionEnd()) - toCrLfPosition(cursor.selectionStart());
}

void TextBox::setSelStart(int position)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(toWidgetPosition(std::clamp(position, 0, textLength())));
    setTextCursor(cursor);
}

void TextBox::setSelLength(int length)
{
    QTextCursor cursor = textCursor();
    const int start = selStart();
    const int end = std::clamp(start + length, start, textLength());
    cursor.setPosition(toWidgetPosition(start));
    cursor.setPosition(toWidgetPosition(end), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void TextBox::setSelText(const QString& text)
{
    QTextCursor cursor = textCursor();
    cursor.insertText(toWidgetText(text));
    setTextCursor(cursor);
}

}  // namespace platform
