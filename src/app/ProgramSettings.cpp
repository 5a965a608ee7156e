#include "app/ProgramSettings.h"

#include "document/UndoRecord.h"
#include "platform/AudioBackend.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

struct NamedColour {
    const char* name;
    std::uint32_t value; // 0x00BBGGRR
};

constexpr NamedColour kStandardColours[] = {
    {"clBlack", 0x000000},  {"clMaroon", 0x000080},  {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000},   {"clPurple", 0x800080},  {"clTeal", 0x808000},  {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},     {"clLime", 0x00FF00},  {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},   {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},  {"clWhite", 0xFFFFFF},
};

QString defaultFolder() {
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QDir(desktop).exists() ? desktop : QDir::homePath();
}

QString flagText(bool value) {
    return value ? "true" : "false";
}

// Reads one value, writing the default when it is missing.
QString readOrDefault(SettingsStore& store, const QString& name, const QString& fallback) {
    if (const auto value = store.read(name))
        return *value;
    store.write(name, fallback);
    return fallback;
}

std::vector<std::pair<const char*, std::uint32_t ViewColours::*>> colourFields() {
    return {{"BGColour", &ViewColours::background},     {"LineColour", &ViewColours::line},
            {"WaveColour", &ViewColours::wave},         {"DivColour", &ViewColours::div},
            {"DisabledColour", &ViewColours::disabled}, {"BarColour", &ViewColours::bar},
            {"SegColour", &ViewColours::seg},           {"RegBarColour", &ViewColours::regBar},
            {"RegSegColour", &ViewColours::regSeg}};
}

// A number setting and the range its control (or its use) allows.
struct NumberField {
    const char* name;
    int ProgramSettings::*field;
    int minimum;
    int maximum;
};
using IntGroup = std::vector<NumberField>;

constexpr int kLargestWindowEdge = 32767;

// Numbers read together: the first one that is not a number leaves the rest of its group at
// their defaults. A number outside its range is brought to the nearest end of it, so that an
// edited store cannot make, say, a buffer of a hundred thousand seconds.
std::vector<IntGroup> numberGroups() {
    return {
        {{"Height", &ProgramSettings::Height, 100, kLargestWindowEdge},
         {"Width", &ProgramSettings::Width, 100, kLargestWindowEdge},
         {"Left", &ProgramSettings::Left, -kLargestWindowEdge, kLargestWindowEdge},
         {"Top", &ProgramSettings::Top, -kLargestWindowEdge, kLargestWindowEdge},
         {"MWS", &ProgramSettings::MWS, 0, 2}},
        {{"MidiChannel", &ProgramSettings::MidiChannel, 1, 16},
         {"Haid", &ProgramSettings::Haid, 0, 1023},
         {"Did", &ProgramSettings::Did, 0, 1023}},
        {{"THold", &ProgramSettings::THold, 1, 61}, {"Gapp", &ProgramSettings::Gapp, 10, 15000}},
        {{"PNo", &ProgramSettings::PNo, 0, 1023}},
        {{"UndoLevels", &ProgramSettings::UndoLevels, 1, kMaxUndoLevels}},
        {{"WaveID", &ProgramSettings::WaveID, kDefaultOutputDevice, 1023},
         {"Seconds", &ProgramSettings::Seconds, 1, 10},
         {"Buffers", &ProgramSettings::Buffers, 1, 10}}};
}

std::vector<std::pair<const char*, bool ProgramSettings::*>> flagFields() {
    return {{"Max", &ProgramSettings::Max},
            {"ShowIcon", &ProgramSettings::ShowIcon},
            {"ShowLock", &ProgramSettings::ShowLock},
            {"ShowEnable", &ProgramSettings::ShowEnable},
            {"ShowSegmentBar", &ProgramSettings::ShowSegmentBar},
            {"ShowRegionBar", &ProgramSettings::ShowRegionBar},
            {"ShowTips", &ProgramSettings::ShowTips},
            {"FilterEnable", &ProgramSettings::FilterEnable},
            {"ShowButtonText", &ProgramSettings::ShowButtonText},
            {"SetOneBar", &ProgramSettings::SetOneBar},
            {"prompt", &ProgramSettings::prompt},
            {"showopendialog", &ProgramSettings::showopendialog},
            {"OldRMB", &ProgramSettings::OldRMB},
            {"EnableUndo", &ProgramSettings::EnableUndo},
            {"AlwaysConvert", &ProgramSettings::AlwaysConvert},
            {"PanelAtTop", &ProgramSettings::PanelAtTop}};
}

std::vector<std::pair<const char*, QString ProgramSettings::*>> folderFields() {
    return {
        {"OpenDir", &ProgramSettings::OpenDir},       {"SaveDir", &ProgramSettings::SaveDir},
        {"SaveSFDir", &ProgramSettings::SaveSFDir},   {"SaveMidDir", &ProgramSettings::SaveMidDir},
        {"SaveTrkDir", &ProgramSettings::SaveTrkDir}, {"OpenPoint", &ProgramSettings::OpenPoint},
        {"SavePoint", &ProgramSettings::SavePoint}};
}

} // namespace

ProgramSettings::ProgramSettings() {
    const QString folder = defaultFolder();
    for (const auto& [name, field] : folderFields())
        this->*field = folder;
    // The programs a Linux desktop usually has for these two jobs.
    CPLoc = "pavucontrol";
    EditLoc = "audacity";
}

QString colourText(std::uint32_t colour) {
    for (const NamedColour& named : kStandardColours)
        if (named.value == colour)
            return named.name;
    return QString("$%1").arg(colour, 8, 16, QChar('0')).toUpper();
}

std::optional<std::uint32_t> parseColour(const QString& text) {
    for (const NamedColour& named : kStandardColours)
        if (text.compare(named.name, Qt::CaseInsensitive) == 0)
            return named.value;
    bool ok = false;
    const std::uint32_t value =
        text.startsWith('$') ? text.mid(1).toUInt(&ok, 16) : text.toUInt(&ok, 10);
    if (!ok || value > 0xFFFFFF)
        return std::nullopt;
    return value;
}

bool isStorableFolder(const QString& folder) {
    return !folder.isEmpty() && !folder.contains('*');
}

bool readSettings(SettingsStore& store, ProgramSettings& settings) {
    if (!store.isAvailable())
        return false;
    const ProgramSettings defaults;
    for (const auto& [name, field] : folderFields())
        settings.*field = readOrDefault(store, name, defaults.*field);

    ViewColours colours;
    bool coloursRead = true;
    for (const auto& [name, field] : colourFields()) {
        const auto value =
            parseColour(readOrDefault(store, name, colourText(defaults.colours.*field)));
        coloursRead = coloursRead && value.has_value();
        if (value)
            colours.*field = *value;
    }
    settings.colours = coloursRead ? colours : defaults.colours;

    for (int i = 0; i < 4; ++i)
        settings.recentFiles[i] = readOrDefault(store, QString("File%1").arg(i + 1), "");
    settings.CPLoc = readOrDefault(store, "CPLoc", defaults.CPLoc);
    settings.EditLoc = readOrDefault(store, "EditLoc", defaults.EditLoc);
    settings.TrackLib = readOrDefault(store, "TrackLib", defaults.TrackLib);
    settings.GigaHostLib = readOrDefault(store, "GigaHostLib", defaults.GigaHostLib);
    settings.SDSOff = readOrDefault(store, "SDSOff", defaults.SDSOff);
    settings.ScsiSockets = readOrDefault(store, "ScsiSockets", defaults.ScsiSockets);
    settings.AuditionPort = readOrDefault(store, "AuditionPort", defaults.AuditionPort);
    settings.AuditionPlayThrough = readOrDefault(store, "AuditionPlayThrough",
                                                 defaults.AuditionPlayThrough ? "1" : "0") == "1";
    bool replyWaitRead = false;
    const int replyWait =
        readOrDefault(store, "SdsReplyWait", QString::number(defaults.SdsReplyWait))
            .toInt(&replyWaitRead);
    settings.SdsReplyWait =
        replyWaitRead ? std::clamp(replyWait, 20, 60000) : defaults.SdsReplyWait;

    for (const IntGroup& group : numberGroups()) {
        bool numbersRead = true;
        for (const NumberField& number : group) {
            const QString text =
                readOrDefault(store, number.name, QString::number(defaults.*number.field));
            bool ok = false;
            const int value = text.toInt(&ok);
            numbersRead = numbersRead && ok;
            settings.*number.field = numbersRead ? std::clamp(value, number.minimum, number.maximum)
                                                 : defaults.*number.field;
        }
    }
    for (const auto& [name, field] : flagFields())
        settings.*field = readOrDefault(store, name, flagText(defaults.*field))
                              .compare("true", Qt::CaseInsensitive) == 0;
    return true;
}

bool writeSettings(SettingsStore& store, const ProgramSettings& settings) {
    if (!store.isAvailable())
        return false;
    bool ok = true;
    auto put = [&](const QString& name, const QString& value) {
        ok = store.write(name, value) && ok;
    };
    for (const auto& [name, field] : folderFields())
        if (isStorableFolder(settings.*field))
            put(name, settings.*field);
    for (const auto& [name, field] : colourFields())
        put(name, colourText(settings.colours.*field));
    for (int i = 0; i < 4; ++i)
        put(QString("File%1").arg(i + 1), settings.recentFiles[i]);
    put("CPLoc", settings.CPLoc);
    put("EditLoc", settings.EditLoc);
    put("TrackLib", settings.TrackLib);
    put("GigaHostLib", settings.GigaHostLib);
    put("AuditionPort", settings.AuditionPort);
    put("AuditionPlayThrough", settings.AuditionPlayThrough ? "1" : "0");
    put("WaveID", QString::number(settings.WaveID));
    put("MinID", QString::number(settings.MinID));
    put("MoutID", QString::number(settings.MoutID));
    put("MidiChannel", QString::number(settings.MidiChannel));
    put("Seconds", QString::number(settings.Seconds));
    put("Buffers", QString::number(settings.Buffers));
    put("SDSOff", settings.SDSOff);
    put("Gapp", QString::number(settings.Gapp));
    put("THold", QString::number(settings.THold));
    put("Haid", QString::number(settings.Haid));
    put("PNo", QString::number(settings.PNo));
    put("Did", QString::number(settings.Did));
    put("MWS", QString::number(settings.MWS));
    put("Height", QString::number(settings.Height));
    put("Width", QString::number(settings.Width));
    put("Left", QString::number(settings.Left));
    put("Top", QString::number(settings.Top));
    put("UndoLevels", QString::number(settings.UndoLevels));
    put("Max", flagText(settings.Max));
    for (const auto& [name, field] : flagFields())
        if (field != &ProgramSettings::Max && field != &ProgramSettings::ShowTips)
            put(name, flagText(settings.*field));
    put("AutoPlay", flagText(settings.AutoPlay));
    return store.flush() && ok;
}

} // namespace tolvane
