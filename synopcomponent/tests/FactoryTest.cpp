// Creating the component by class id from its shared library.
#include "synopcomponent/api/ComponentFactory.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace synop;

TEST(ComponentFactory, CreatesTheComponentFromItsLibrary)
{
    ComponentCreation created = createComponent(QLatin1String(kSynopComponentClassId));
    ASSERT_TRUE(created.instance) << created.failure.toStdString();
    int32_t available = 0;
    EXPECT_EQ(created.instance->OpenDecoder(0, &available), kStatusOk);
    EXPECT_NE(available, 0);
    EXPECT_EQ(created.instance->FeedText("AAXX 08061\r\n10015 41460 72315=\r\n"), kStatusOk);
    EXPECT_EQ(created.instance->CloseDecoder(0), kStatusOk);
    // Class ids are compared without regard to case, as the registry does.
    EXPECT_TRUE(createComponent(QString::fromLatin1(kSynopComponentClassId).toLower()).instance);
}

TEST(ComponentFactory, FailuresGiveNoInstanceAndAReason)
{
    ComponentCreation unknown = createComponent(QStringLiteral("{00000000-0000-0000-0000-000000000000}"));
    EXPECT_FALSE(unknown.instance);
    EXPECT_FALSE(unknown.failure.isEmpty());

    QTemporaryDir empty;
    ComponentCreation missing = createComponent(QLatin1String(kSynopComponentClassId), {empty.path()});
    EXPECT_FALSE(missing.instance);
    EXPECT_FALSE(missing.failure.isEmpty());

    ComponentCreation noEntry = createComponent(QLatin1String(kSynopComponentClassId), {QStringLiteral(FAKE_COMPONENT_DIR)});
    EXPECT_FALSE(noEntry.instance);
    EXPECT_TRUE(noEntry.failure.contains(QLatin1String(kCreateSynopComponentSymbol))) << noEntry.failure.toStdString();
}
