#include "edit/Global.h"

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>

#include <gtest/gtest.h>

using namespace sundral;

TEST(TwoDigits, PadsBelowTenOnly) {
    const struct {
        int32_t In;
        const char* Out;
    } cases[] = {{0, "00"},    {7, "07"},   {10, "10"},    {99, "99"},
                 {100, "100"}, {-5, "0-5"}, {-15, "0-15"}, {INT32_MIN, "0-2147483648"}};
    for (const auto& c : cases) EXPECT_EQ(TwoDigits(c.In), c.Out) << c.In;
}

TEST(TwoDigitsOfText, ReadsOnlyWholeDecimalIntegers) {
    const struct {
        const char* In;
        const char* Out;
    } cases[] = {{"5", "05"},
                 {"05", "05"},
                 {"123", "123"},
                 {"", "00"},
                 {"a", "00"},
                 {"+5", "05"},
                 {"-5", "0-5"},
                 {"5a", "00"},
                 {" 5", "00"},
                 {"$A", "00"},
                 {"+", "00"},
                 {"-", "00"},
                 {"+-5", "00"},
                 {"007", "07"},
                 {"2147483647", "2147483647"},
                 {"2147483648", "00"},
                 {"-2147483648", "0-2147483648"},
                 {"99999999999999999999", "00"}};
    for (const auto& c : cases) EXPECT_EQ(TwoDigitsOfText(c.In), c.Out) << '"' << c.In << '"';
}

TEST(TimeText, ChecksNormalisesAndConverts) {
    // Text, IsTimeText, IsFixedTimeText, normalised form, milliseconds.
    const struct {
        const char* Text;
        bool Loose;
        bool Fixed;
        const char* Normal;
        int32_t Ms;
    } cases[] = {
        {"00:00:00.0", true, true, "00:00:00.0", 0},
        {"1:2:3.4", true, false, "01:02:03.4", 3723400},
        {"01:02:03.", true, false, "01:02:03.", 3723000},
        {"01:02:03", false, false, "01:02:03", 3723000},
        {"123:00:00.0", false, false, "123:00:00.0", 43200000},
        {"01:02:03.45", false, false, "01:02:03.4", 3723400},
        {"1a:00:00.0", false, true, "00:00:00.0", 0},
        {"1:2:3.:", true, false, "01:02:03.:", 3723000},
        {"1:2:3..", true, false, "01:02:03..", 3723000},
        {"0a:0b:0c.d", false, true, "00:00:00.d", 0},
        {"1:2:3.45", false, false, "01:02:03.4", 3723400},
        {":5:3.2", false, false, "00:05:03.2", 303200},
        {"12:34:56.7", true, true, "12:34:56.7", 45296700},
        {"00:99:99.9", true, true, "00:99:99.9", 6039900},
        {"99:99:99.9", true, true, "99:99:99.9", 362439900},
        {"5", false, false, "5", 18000000},
        {"", false, false, "", 0},
        {"1::2.3", false, false, "01:00:02.3", 3602300},
        {"1:2:.3", false, false, "01:02:00.3", 3720300},
        {"-5:00:00.0", false, true, "0-5:00:00.0", 0},
        {"+9", false, false, "+9", 32400000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(IsTimeText(c.Text), c.Loose);
        EXPECT_EQ(IsFixedTimeText(c.Text), c.Fixed);
        EXPECT_EQ(NormalizeTimeText(c.Text), c.Normal);
        EXPECT_EQ(TimeTextToMs(c.Text), c.Ms);
    }
}

TEST(TimeText, MillisecondsToText) {
    const struct {
        int32_t Ms;
        const char* Text;
    } cases[] = {{0, "00:00:00.0"},          {59, "00:00:00.0"},        {999, "00:00:00.9"},
                 {1050, "00:00:01.0"},       {3723400, "01:02:03.4"},   {3599999, "00:59:59.9"},
                 {360000000, "100:00:00.0"}, {921600000, "00:00:00.0"}, // 256 hours wrap
                 {INT32_MAX, "84:31:23.6"},  {-1, "00:00:00.0"},        // no sign: clamped
                 {INT32_MIN, "00:00:00.0"}};
    for (const auto& c : cases) EXPECT_EQ(MsToTimeText(c.Ms), c.Text) << c.Ms;
}

TEST(TimeText, FixedTextsRoundTrip) {
    for (int32_t ms = 0; ms < 100 * 3600000; ms += 987659) {
        const std::string text = MsToTimeText(ms);
        ASSERT_TRUE(IsTimeText(text) && IsFixedTimeText(text)) << text;
        ASSERT_EQ(TimeTextToMs(text), ms / 100 * 100) << text;
    }
}

TEST(BitrateToMp3BitRate, ExactRatesElseFallback) {
    // The exact rates in the order of the choices after mbrAuto.
    const int32_t rates[] = {32000,  40000,  48000,  56000,  64000,  80000,  96000, 112000,
                             128000, 144000, 160000, 192000, 224000, 256000, 320000};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(BitrateToMp3BitRate(rates[i]), static_cast<TMP3BitRate>(i + 1)) << rates[i];
    EXPECT_EQ(TMP3BitRate::mbr320, static_cast<TMP3BitRate>(15));
    for (int32_t low : {0, 1, 8000, 31999})
        EXPECT_EQ(BitrateToMp3BitRate(low), TMP3BitRate::mbrAuto) << low;
    for (int32_t other : {32001, 127999, 129000, 130000, 400000, -1, INT32_MIN})
        EXPECT_EQ(BitrateToMp3BitRate(other), TMP3BitRate::mbr128) << other;
}

// Sets an environment variable for one scope and puts the old value back.
class TEnvOverride {
public:
    TEnvOverride(const char* Name, const char* Value) : FName(Name) {
        if (const char* old = std::getenv(Name)) FOld = old;
        if (Value)
            setenv(Name, Value, 1);
        else
            unsetenv(Name);
    }
    ~TEnvOverride() {
        if (FOld)
            setenv(FName, FOld->c_str(), 1);
        else
            unsetenv(FName);
    }

private:
    const char* FName;
    std::optional<std::string> FOld;
};

TEST(GetAppDataFolder, XdgThenHomeWithTrailingSlash) {
    {
        TEnvOverride xdg("XDG_DATA_HOME", "/data/share");
        EXPECT_EQ(GetAppDataFolder(), "/data/share/");
    }
    {
        TEnvOverride xdg("XDG_DATA_HOME", "/data/share/");
        EXPECT_EQ(GetAppDataFolder(), "/data/share/");
    }
    for (const char* ignored : {"relative/dir", "", static_cast<const char*>(nullptr)}) {
        TEnvOverride xdg("XDG_DATA_HOME", ignored);
        TEnvOverride home("HOME", "/home/someone");
        EXPECT_EQ(GetAppDataFolder(), "/home/someone/.local/share/");
    }
    {
        // Without HOME the password database still knows a home folder.
        TEnvOverride xdg("XDG_DATA_HOME", nullptr);
        TEnvOverride home("HOME", nullptr);
        const std::string folder = GetAppDataFolder();
        ASSERT_FALSE(folder.empty());
        EXPECT_EQ(folder.back(), '/');
    }
}
