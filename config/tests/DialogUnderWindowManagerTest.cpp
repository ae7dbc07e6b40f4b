// The dialog's place and frame where a window manager gives windows real
// frames (run by config_dialog_under_openbox). The offscreen platform's
// frames are made up and framed at once: the place is checked under openbox.
#include "DialogHarness.h"
#include "platform/testing/WaitFor.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QLabel>
#include <QWidget>

using config::ConfigDialog;
using config::ConfigForm;
using config::testing::whileShown;

namespace {

bool framed(const QWidget& window) { return window.frameGeometry() != window.geometry(); }

}  // namespace

TEST(DialogUnderWindowManager, ItsOuterCornerStands200And750TwipsFromTheOwnersOuterCorner)
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) GTEST_SKIP() << "needs real frames";
    for (const bool ownerShown : {true, false}) {
        SCOPED_TRACE(ownerShown ? "owner shown" : "owner not shown yet (first start)");
        QWidget owner;
        owner.resize(320, 90);
        owner.move(300, 150);
        if (ownerShown) {
            owner.show();
            WAIT_FOR_TRUE(framed(owner), 5000);
            WAIT_FOR_EQ(owner.frameGeometry().topLeft(), QPoint(300, 150), 5000);
        }
        ConfigDialog dialog(nullptr);
        QPoint outer, inner;
        whileShown(dialog, &owner, [&](ConfigForm& form) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return framed(form); }, 10000)) << "never framed";
            QTest::qWait(200);  // the window manager's last word on the place
            outer = form.frameGeometry().topLeft();
            inner = form.geometry().topLeft();
        });
        EXPECT_EQ(outer, QPoint(300, 150) + QPoint(13, 50)) << "inner corner at " << inner.x() << "," << inner.y();
    }
}

TEST(DialogUnderWindowManager, TheRedNoticeShowsWhole)
{
    ConfigDialog dialog(nullptr);
    whileShown(dialog, nullptr, [&](ConfigForm& form) {
        form.notify->setText(config::kSearchNotice);
        EXPECT_GE(form.notify->height(), form.notify->fontMetrics().height() + 2);
        EXPECT_GT(form.notify->geometry().top(), form.frame[3]->geometry().bottom());
        EXPECT_LE(form.notify->geometry().bottom(), form.height() - 1);
        EXPECT_LE(form.notify->fontMetrics().horizontalAdvance(config::kSearchNotice), form.notify->width());
    });
}

TEST(DialogUnderWindowManager, FieldsStandInsideTheirFramesWithTheCaptionOnTheLine)
{
    ConfigDialog dialog(nullptr);
    whileShown(dialog, nullptr, [&](ConfigForm& form) {
        for (QGroupBox* box : form.frame) {
            SCOPED_TRACE(box->title().toStdString());
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            option.lineWidth = 1;
            const QRect line = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, box);
            const QRect caption = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
            // The caption sits on the top line, not above it.
            EXPECT_LT(caption.top(), line.top());
            EXPECT_GT(caption.bottom(), line.top());
            for (QWidget* field : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                SCOPED_TRACE(field->objectName().isEmpty() ? field->metaObject()->className()
                                                           : field->objectName().toStdString());
                EXPECT_GT(field->geometry().top(), line.top());
                EXPECT_LT(field->geometry().bottom(), line.bottom());
            }
        }
    });
}
