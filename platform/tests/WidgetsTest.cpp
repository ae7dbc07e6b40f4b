#include "platform/StatusPanels.h"
#include "platform/TextBox.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace platform;

TEST(TextBox, CountsLineEndsAsCrLfForLengthCaretAndSelection)
{
    TextBox box;
    box.setText(QStringLiteral("ab\r\ncd\r\n"));
    EXPECT_EQ(box.text(), QStringLiteral("ab\r\ncd\r\n"));
    EXPECT_EQ(box.textLength(), 8);

    box.setSelStart(4);  // before "cd"
    box.setSelLength(2);
    EXPECT_EQ(box.selStart(), 4);
    EXPECT_EQ(box.selLength(), 2);
    box.setSelText(QStringLiteral("X\r\nY"));
    EXPECT_EQ(box.text(), QStringLiteral("ab\r\nX\r\nY\r\n"));
    EXPECT_EQ(box.selStart(), 8);  // caret after the insertion
    EXPECT_EQ(box.selLength(), 0);

    box.setSelStart(0);
    box.setSelLength(box.textLength());
    EXPECT_EQ(box.selLength(), 10);
    box.setSelText(QStringLiteral("new"));
    EXPECT_EQ(box.text(), QStringLiteral("new"));
    EXPECT_EQ(box.textLength(), 3);
}

TEST(StatusPanels, NumberedFromOneWithFixedWidthsAndClicks)
{
    StatusPanels bar({{"Mode", "tip 1", 820, {}}, {"Speed", "tip 2", 680, {}}});
    EXPECT_EQ(bar.count(), 2);
    EXPECT_EQ(bar.panelText(1), QStringLiteral("Mode"));
    EXPECT_EQ(bar.panelToolTip(2), QStringLiteral("tip 2"));
    EXPECT_EQ(bar.panelText(3), QString());
    bar.setPanelText(2, QStringLiteral("a much longer text than fits"));
    EXPECT_EQ(bar.panelText(2), QStringLiteral("a much longer text than fits"));
    bar.resize(800, 20);
    bar.show();
    QApplication::processEvents();
    auto* panel = bar.findChildren<QLabel*>().at(1);
    EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(panel->text()));
    EXPECT_GE(bar.findChildren<QLabel*>().at(0)->width(), 820 / 15);

    QSignalSpy clicks(&bar, &StatusPanels::PanelClick);
    bar.show();
    QTest::mouseClick(bar.findChildren<QWidget*>().at(1), Qt::LeftButton);
    bar.clickPanel(1);
    bar.clickPanel(7);
    ASSERT_EQ(clicks.count(), 2);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 2);
    EXPECT_EQ(clicks.at(1).at(0).toInt(), 1);
}
