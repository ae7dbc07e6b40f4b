#include "platform/Registry.h"
#include "platform/tests/HiveFixture.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <string>
#include <sys/stat.h>

using namespace platform;
using settings::ReadSetting;
using settings::SettingValue;
using settings::WriteSetting;

namespace {

const QString kApp = QStringLiteral("Pluvane");

class SettingsStoreTest : public HiveFixture {
protected:
    // Stores raw bytes under the application key, bypassing WriteSetting.
    void storeRaw(const char* name, DWORD type, const std::string& bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software\\Pluvane", &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    std::string storedBytes(const char* name, DWORD* type = nullptr)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvath Software\\Pluvane", 0, KEY_READ, &key))
            return "<no key>";
        std::string data(8192, '\0');
        DWORD size = static_cast<DWORD>(data.size());
        const LONG status = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) return "<missing>";
        data.resize(size);
        return data;
    }
    void TearDown() override { EXPECT_EQ(registryOpenHandleCount(), 0) << "a key was left open"; }
};

}  // namespace

TEST_F(SettingsStoreTest, MissingKeysGiveTheDefaultInItsOwnTypeAndCreateNothing)
{
    EXPECT_EQ(ReadSetting(kApp, "HostName", QString("")), SettingValue(QString("")));
    EXPECT_EQ(ReadSetting(kApp, "HostPort", int32_t{33234}), SettingValue(int32_t{33234}));
    EXPECT_EQ(ReadSetting(kApp, "CardType", int16_t{-1}), SettingValue(int16_t{-1}));
    EXPECT_EQ(ReadSetting(kApp, "X", 1234.5f), SettingValue(1234.5f));
    EXPECT_FALSE(QFile::exists(hivePath()));

    // With the keys present but the value missing, still the default.
    storeRaw("Other", REG_DWORD, std::string("\1\0\0\0", 4));
    EXPECT_EQ(ReadSetting(kApp, "X", 7.25f), SettingValue(7.25f));
}

TEST_F(SettingsStoreTest, FirstWriteCreatesBothKeysAndNumbersAreStoredAsDwords)
{
    EXPECT_TRUE(WriteSetting(kApp, "CardNumber", int16_t{-1}));
    DWORD type = 0;
    EXPECT_EQ(storedBytes("CardNumber", &type), std::string("\xff\xff\xff\xff", 4));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(ReadSetting(kApp, "CardNumber", int16_t{5}), SettingValue(int32_t{-1}));

    EXPECT_TRUE(WriteSetting(kApp, "A", 2.5f));
    EXPECT_TRUE(WriteSetting(kApp, "B", 3.5f));
    EXPECT_TRUE(WriteSetting(kApp, "C", int32_t{33234}));
    EXPECT_EQ(storedBytes("A"), std::string("\2\0\0\0", 4));
    EXPECT_EQ(storedBytes("B"), std::string("\4\0\0\0", 4));
    EXPECT_EQ(storedBytes("C"), std::string("\xd2\x81\0\0", 4));

    // A float beyond 32 bits is refused, not stored wrapped.
    EXPECT_FALSE(WriteSetting(kApp, "D", 5e9f));
    EXPECT_EQ(storedBytes("D"), "<missing>");
}

TEST_F(SettingsStoreTest, TextIsStoredWithOneNulAndReadBackExactly)
{
    const QString host = QStringLiteral("radio.example");
    EXPECT_TRUE(WriteSetting(kApp, "HostName", host));
    DWORD type = 0;
    EXPECT_EQ(storedBytes("HostName", &type), std::string("radio.example\0", 14));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(host, QStringLiteral("radio.example"));  // the caller's text stays clean
    EXPECT_EQ(ReadSetting(kApp, "HostName", QString("dflt")), SettingValue(host));

    EXPECT_TRUE(WriteSetting(kApp, "Empty", QString()));
    EXPECT_EQ(storedBytes("Empty"), std::string("\0", 1));
    EXPECT_EQ(ReadSetting(kApp, "Empty", QString("dflt")), SettingValue(QString()));

    EXPECT_TRUE(WriteSetting(kApp, "Accent", QStringLiteral("Z\u00fcrich \u20ac \u03a9")));
    EXPECT_EQ(storedBytes("Accent"), std::string("Z\xfcrich \x80 ?\0", 11));
}

TEST_F(SettingsStoreTest, TextReadsFollowTheStoredSizeAndDropOnlyOneTerminator)
{
    const QString dflt = QStringLiteral("dflt");
    storeRaw("Size0", REG_SZ, "");
    storeRaw("NoNul", REG_SZ, "abc");
    storeRaw("OneNul", REG_SZ, std::string("abc\0", 4));
    storeRaw("TwoNul", REG_SZ, std::string("abc\0\0", 5));
    storeRaw("Full", REG_SZ, std::string(4095, 'x') + '\0');
    storeRaw("TooLong", REG_SZ, std::string(4097, 'x'));
    EXPECT_EQ(ReadSetting(kApp, "Size0", dflt), SettingValue(dflt));
    EXPECT_EQ(ReadSetting(kApp, "NoNul", dflt), SettingValue(QString("abc")));
    EXPECT_EQ(ReadSetting(kApp, "OneNul", dflt), SettingValue(QString("abc")));
    EXPECT_EQ(ReadSetting(kApp, "TwoNul", dflt), SettingValue(QString::fromLatin1("abc\0", 4)));
    EXPECT_EQ(std::get<QString>(ReadSetting(kApp, "Full", dflt)).size(), 4095);
    EXPECT_EQ(ReadSetting(kApp, "TooLong", dflt), SettingValue(dflt));
}

TEST_F(SettingsStoreTest, TheDefaultChoosesHowTheStoredBytesAreRead)
{
    storeRaw("Dword", REG_DWORD, std::string("AB\0\0", 4));
    storeRaw("DwordFull", REG_DWORD, "ABCD");
    storeRaw("Short", REG_SZ, std::string("\x01\x02", 2));
    storeRaw("Four", REG_SZ, "\x01\x02\x03\x04");
    storeRaw("Five", REG_SZ, "12345");
    EXPECT_EQ(ReadSetting(kApp, "Dword", QString()), SettingValue(QString::fromLatin1("AB\0", 3)));
    EXPECT_EQ(ReadSetting(kApp, "DwordFull", QString()), SettingValue(QString("ABCD")));
    EXPECT_EQ(ReadSetting(kApp, "Short", int32_t{9}), SettingValue(int32_t{0x0201}));
    EXPECT_EQ(ReadSetting(kApp, "Four", 1.0f), SettingValue(int32_t{0x04030201}));
    EXPECT_EQ(ReadSetting(kApp, "Five", int16_t{9}), SettingValue(int16_t{9}));
}

TEST_F(SettingsStoreTest, AnAccountThatMayOnlyReadGetsEveryDefault)
{
    ASSERT_TRUE(WriteSetting(kApp, "CardNumber", int32_t{3}));
    ASSERT_TRUE(WriteSetting(kApp, "HostName", QString("h")));
    ASSERT_EQ(::chmod(QFile::encodeName(hivePath()).constData(), 0444), 0);
    EXPECT_EQ(ReadSetting(kApp, "CardNumber", int16_t{-1}), SettingValue(int16_t{-1}));
    EXPECT_EQ(ReadSetting(kApp, "HostName", QString()), SettingValue(QString()));
    EXPECT_FALSE(WriteSetting(kApp, "CardNumber", int32_t{4}));
}

TEST_F(SettingsStoreTest, ConversionsIntoTheCallersVariablesReportWhatDoesNotFit)
{
    using settings::settingToInt16;
    EXPECT_EQ(settingToInt16(SettingValue(int32_t{-32768})), int16_t{-32768});
    EXPECT_FALSE(settingToInt16(SettingValue(int32_t{40000})).has_value());
    EXPECT_EQ(settingToInt16(SettingValue(2.5f)), int16_t{2});
    EXPECT_FALSE(settingToInt16(SettingValue(32767.5f)).has_value());
    EXPECT_EQ(settings::settingToInt32(SettingValue(int16_t{-1})), -1);
}
