#include "app/ProgramSettings.h"

#include "support/TestFiles.h"

#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

using test::TempDir;

QString iniPath(const TempDir& dir) {
    return QString::fromStdString(dir.file("settings.ini"));
}

TEST(ProgramSettings, FirstStartWritesEveryDefaultAndTheSecondReadsTheSame) {
    TempDir dir;
    ProgramSettings first;
    {
        QSettingsStore store(iniPath(dir));
        ASSERT_TRUE(readSettings(store, first));
        store.flush();
    }
    QSettings raw(iniPath(dir), QSettings::IniFormat);
    raw.beginGroup("1/Config");
    const QStringList names = raw.childKeys();
    for (const char* name : {"OpenDir",
                             "SaveDir",
                             "SaveSFDir",
                             "SaveMidDir",
                             "SaveTrkDir",
                             "OpenPoint",
                             "SavePoint",
                             "BGColour",
                             "LineColour",
                             "WaveColour",
                             "DivColour",
                             "DisabledColour",
                             "BarColour",
                             "SegColour",
                             "RegBarColour",
                             "RegSegColour",
                             "File1",
                             "File2",
                             "File3",
                             "File4",
                             "CPLoc",
                             "EditLoc",
                             "GigaHostLib",
                             "SDSOff",
                             "Height",
                             "Width",
                             "Left",
                             "Top",
                             "MWS",
                             "MidiChannel",
                             "Haid",
                             "Did",
                             "THold",
                             "Gapp",
                             "PNo",
                             "WaveID",
                             "Seconds",
                             "Buffers",
                             "Max",
                             "ShowIcon",
                             "ShowLock",
                             "ShowEnable",
                             "ShowSegmentBar",
                             "ShowRegionBar",
                             "ShowTips",
                             "FilterEnable",
                             "ShowButtonText",
                             "SetOneBar",
                             "prompt",
                             "showopendialog",
                             "OldRMB",
                             "EnableUndo",
                             "PanelAtTop"})
        EXPECT_TRUE(names.contains(name)) << name;
    EXPECT_EQ(raw.value("BGColour").toString(), "$00804000");
    EXPECT_EQ(raw.value("LineColour").toString(), "clBlack");
    EXPECT_EQ(raw.value("DivColour").toString(), "clRed");
    EXPECT_EQ(raw.value("DisabledColour").toString(), "clGray");
    EXPECT_EQ(raw.value("WaveID").toString(), "-1");
    EXPECT_EQ(raw.value("prompt").toString(), "true");
    EXPECT_EQ(raw.value("Gapp").toString(), "10000");

    QSettingsStore again(iniPath(dir));
    ProgramSettings second;
    second.Width = 1;
    ASSERT_TRUE(readSettings(again, second));
    EXPECT_EQ(second.Width, 640);
    EXPECT_EQ(second.colours, first.colours);
    EXPECT_EQ(second.OpenDir, first.OpenDir);
}

TEST(ProgramSettings, ExitWritesTheRunningValuesBack) {
    TempDir dir;
    ProgramSettings settings;
    settings.recentFiles = {"/a.wav", "/b.aif", "", ""};
    settings.colours.wave = 0x123456;
    settings.Max = true;
    settings.OpenDir = "*.wav"; // a bare pattern is not a folder: not written
    {
        QSettingsStore store(iniPath(dir));
        ASSERT_TRUE(writeSettings(store, settings));
    }
    QSettingsStore store(iniPath(dir));
    ProgramSettings read;
    readSettings(store, read);
    EXPECT_EQ(read.recentFiles[0], "/a.wav");
    EXPECT_EQ(read.recentFiles[1], "/b.aif");
    EXPECT_EQ(read.colours.wave, 0x123456u);
    EXPECT_TRUE(read.Max);
    EXPECT_NE(read.OpenDir, "*.wav");
}

TEST(ProgramSettings, ABadColourResetsAllColoursAndABadNumberTheRestOfItsGroup) {
    TempDir dir;
    {
        QSettings raw(iniPath(dir), QSettings::IniFormat);
        raw.beginGroup("1/Config");
        raw.setValue("WaveColour", "$00112233");
        raw.setValue("BarColour", "not a colour");
        raw.setValue("Height", "500");
        raw.setValue("Width", "wide");
        raw.setValue("Left", "7");
        raw.setValue("THold", "33");
    }
    QSettingsStore store(iniPath(dir));
    ProgramSettings settings;
    readSettings(store, settings);
    EXPECT_EQ(settings.colours, ViewColours{});
    EXPECT_EQ(settings.Height, 500);
    EXPECT_EQ(settings.Width, 640);
    EXPECT_EQ(settings.Left, 54) << "after a bad number its group keeps the defaults";
    EXPECT_EQ(settings.THold, 33) << "other groups are read";
}

TEST(ProgramSettings, NumbersOutsideTheirControlsRangeAreBroughtIntoIt) {
    TempDir dir;
    {
        QSettings raw(iniPath(dir), QSettings::IniFormat);
        raw.beginGroup("1/Config");
        raw.setValue("Seconds", "100000");
        raw.setValue("Buffers", "0");
        raw.setValue("WaveID", "-7");
        raw.setValue("THold", "500");
        raw.setValue("Gapp", "-3");
        raw.setValue("MidiChannel", "99");
        raw.setValue("MWS", "9");
        raw.setValue("Width", "5");
    }
    QSettingsStore store(iniPath(dir));
    ProgramSettings settings;
    readSettings(store, settings);
    EXPECT_EQ(settings.Seconds, 10);
    EXPECT_EQ(settings.Buffers, 1);
    EXPECT_EQ(settings.WaveID, -1);
    EXPECT_EQ(settings.THold, 61);
    EXPECT_EQ(settings.Gapp, 10);
    EXPECT_EQ(settings.MidiChannel, 16);
    EXPECT_EQ(settings.MWS, 2);
    EXPECT_EQ(settings.Width, 100);
}

TEST(ProgramSettings, ColoursAreNamesOrDollarHex) {
    EXPECT_EQ(colourText(0x000000), "clBlack");
    EXPECT_EQ(colourText(0x0000FF), "clRed");
    EXPECT_EQ(colourText(0xC08000), "$00C08000");
    EXPECT_EQ(parseColour("clGray"), 0x808080u);
    EXPECT_EQ(parseColour("$00A04000"), 0xA04000u);
    EXPECT_FALSE(parseColour("$01000000"));
    EXPECT_FALSE(parseColour("blue-ish"));
}

} // namespace
} // namespace tolvane
