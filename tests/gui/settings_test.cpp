// The settings store: defaults created on first read, strings of any
// length, and a store that cannot be opened.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <filesystem>
#include <string>

#include "host/app/ui_registry.h"

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = std::filesystem::temp_directory_path() /
               ("brevan_settings_" + std::to_string(::getpid()) + ".ini");
        std::filesystem::remove(path);
        prefs_set_file(path.c_str());
        ASSERT_EQ(prefs_init("Brevan"), 1);
    }
    void TearDown() override
    {
        prefs_done();
        prefs_set_file(nullptr);
        std::filesystem::remove(path);
    }
    // What another program would see in the file.
    QVariant stored(const char* name)
    {
        prefs_done();
        QSettings file(QString::fromStdString(path.string()), QSettings::IniFormat);
        QVariant v = file.value(name);
        prefs_init("Brevan");
        return v;
    }
    std::filesystem::path path;
};

TEST_F(SettingsStore, MissingNumberKeepsDefaultAndIsCreatedWithIt)
{
    uint32_t value = 0x1234;
    EXPECT_EQ(GetValueDword("Model", &value), 0);
    EXPECT_EQ(value, 0x1234u);
    EXPECT_EQ(stored("Model").toUInt(), 0x1234u);

    uint32_t again = 7;
    EXPECT_EQ(GetValueDword("Model", &again), 1);
    EXPECT_EQ(again, 0x1234u);
}

TEST_F(SettingsStore, NumberStoredAsTextIsReplacedByTheDefault)
{
    ASSERT_EQ(SetValueStr("Sound", "loud"), 1);
    uint32_t value = 1;
    EXPECT_EQ(GetValueDword("Sound", &value), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(stored("Sound").toString(), "1");
}

TEST_F(SettingsStore, StringsRoundTripAndMissingOnesLeaveTheBuffer)
{
    std::string text = "unchanged";
    EXPECT_EQ(GetValueStr("DrivePath", text), 0);
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(stored("DrivePath").isNull()) << "a string read does not create it";

    ASSERT_EQ(SetValueStr("DrivePath", "/home/primo/lemez"), 1);
    EXPECT_EQ(GetValueStr("DrivePath", text), 1);
    EXPECT_EQ(text, "/home/primo/lemez");
}

TEST_F(SettingsStore, LongStringsSurviveTheFile)
{
    const std::string folder = "/home/" + std::string(600, 'y') + "/lemez";
    ASSERT_EQ(SetValueStr("DrivePath", folder.c_str()), 1);
    EXPECT_EQ(stored("DrivePath").toString().toStdString(), folder);
    std::string text;
    EXPECT_EQ(GetValueStr("DrivePath", text), 1);
    EXPECT_EQ(text, folder);
}

TEST_F(SettingsStore, NullStringIsStoredEmptyAndReportedAsFailure)
{
    EXPECT_EQ(SetValueStr("DrivePath", nullptr), 0);
    std::string text = "x";
    EXPECT_EQ(GetValueStr("DrivePath", text), 1);
    EXPECT_EQ(text, "");
}

TEST_F(SettingsStore, TheFileIsWrittenOnlyWhenSaved)
{
    const auto file_text = [&] {
        QSettings file(QString::fromStdString(path.string()), QSettings::IniFormat);
        return file.allKeys().join(',');
    };
    uint32_t value = 5;
    GetValueDword("Model", &value);
    SetValueDword("Sound", &value);
    SetValueStr("DrivePath", "/tmp");
    QCoreApplication::processEvents();
    EXPECT_EQ(file_text(), "");
    EXPECT_EQ(prefs_save(), 1);
    EXPECT_EQ(file_text(), "DrivePath,Model,Sound");
    EXPECT_EQ(GetValueDword("Sound", &value), 1) << "saved values are still read";
}

TEST(SettingsStoreUnavailable, ReadsKeepDefaultsAndWritesFail)
{
    prefs_set_file("/proc/brevan-no-such-folder/Brevan.ini");
    EXPECT_EQ(prefs_init("Brevan"), 0);
    uint32_t value = 42;
    EXPECT_EQ(GetValueDword("Model", &value), 0);
    EXPECT_EQ(value, 42u);
    EXPECT_EQ(SetValueDword("Model", &value), 0);
    EXPECT_EQ(prefs_done(), 0);
    prefs_set_file(nullptr);
}

} // namespace
