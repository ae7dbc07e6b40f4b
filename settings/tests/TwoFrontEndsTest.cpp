// Two front ends closing at the same moment, each in its own process: the
// hive holds one window's place whole, never one's X beside the other's Y.
// And a front end starting while another closes reads one place whole.
#include "platform/Registry.h"
#include "platform/tests/HiveFixture.h"
#include "settings/SettingsStore.h"

#include <QProcess>
#include <array>
#include <cstring>

using namespace platform;

namespace {

constexpr const char* kAppKey = "SOFTWARE\\Korvath Software\\Pluvane";
constexpr std::array<const char*, 4> kPlace{"X", "Y", "X-Synop", "Y-Synop"};

// The four values of a window's place as one read sees them; empty while
// they are not all there yet.
std::vector<uint32_t> placeAsStored()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAppKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    std::array<VALENTA, kPlace.size()> entries{};
    for (size_t i = 0; i < kPlace.size(); ++i) entries[i].ve_valuename = const_cast<char*>(kPlace[i]);
    std::array<char, 64> buffer{};
    DWORD size = buffer.size();
    const LONG status = RegQueryMultipleValuesA(key, entries.data(), entries.size(), buffer.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return {};
    std::vector<uint32_t> numbers;
    for (const VALENTA& entry : entries) {
        if (entry.ve_type != REG_DWORD || entry.ve_valuelen != 4) return {};
        uint32_t number = 0;
        std::memcpy(&number, reinterpret_cast<const void*>(entry.ve_valueptr), 4);
        numbers.push_back(number);
    }
    return numbers;
}

}  // namespace

TEST_F(HiveFixture, TwoFrontEndsClosingAtOnceStoreOneWindowsPlaceWhole)
{
    constexpr int kSaves = 60;
    QProcess first, second;
    first.start(SETTINGS_WRITER, {"1", QString::number(kSaves)});
    second.start(SETTINGS_WRITER, {"2", QString::number(kSaves)});
    ASSERT_TRUE(first.waitForStarted(30000));
    ASSERT_TRUE(second.waitForStarted(30000));

    // What the hive holds is looked at while both save, and once more at the end.
    int looks = 0;
    std::vector<std::vector<uint32_t>> mixed;
    auto look = [&] {
        const auto place = placeAsStored();
        if (place.empty()) return;
        ++looks;
        if (std::count(place.begin(), place.end(), place.front()) != long(place.size())) mixed.push_back(place);
    };
    while (first.state() != QProcess::NotRunning || second.state() != QProcess::NotRunning) {
        look();
        first.waitForFinished(1);
        second.waitForFinished(1);
    }
    look();
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_GE(looks, 1);
    ASSERT_TRUE(mixed.empty()) << mixed.size() << " of " << looks << " looks found a mixed place, e.g. X "
                               << mixed[0][0] << ", Y " << mixed[0][1] << ", X-Synop " << mixed[0][2]
                               << ", Y-Synop " << mixed[0][3];
    // The last save of one of them is what stays.
    const auto last = placeAsStored();
    ASSERT_EQ(last.size(), kPlace.size());
    EXPECT_TRUE(last[0] == 100000 + kSaves - 1 || last[0] == 200000 + kSaves - 1) << last[0];
}

TEST_F(HiveFixture, AFrontEndStartingWhileAnotherSavesReadsOneSaveWhole)
{
    constexpr int kSaves = 200;
    QProcess writer;
    writer.start(SETTINGS_WRITER, {"3", QString::number(kSaves)});
    ASSERT_TRUE(writer.waitForStarted(30000));

    // Read as the start-up reads, while the other process saves: the four
    // values of one save, the defaults before the first, never a mix.
    const std::vector<settings::NamedSetting> defaults{
        {"X", -1.0f}, {"Y", -1.0f}, {"X-Synop", int32_t{-1}}, {"Y-Synop", int32_t{-1}}};
    int reads = 0, saved = 0;
    std::vector<std::vector<int32_t>> mixed;
    auto readOnce = [&] {
        std::vector<int32_t> place;
        for (const auto& value : settings::ReadSettings(QStringLiteral("Pluvane"), defaults))
            place.push_back(settings::settingToInt32(value).value_or(-2));
        ++reads;
        if (place.front() != -1) ++saved;
        if (std::count(place.begin(), place.end(), place.front()) != long(place.size())) mixed.push_back(place);
    };
    while (writer.state() != QProcess::NotRunning) {
        readOnce();
        writer.waitForFinished(0);
    }
    readOnce();
    EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();
    EXPECT_GE(saved, 1);
    ASSERT_TRUE(mixed.empty()) << mixed.size() << " of " << reads << " reads mixed two saves, e.g. X "
                               << mixed[0][0] << ", Y " << mixed[0][1] << ", X-Synop " << mixed[0][2]
                               << ", Y-Synop " << mixed[0][3];
}
