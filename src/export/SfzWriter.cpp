#include "document/SafeFileWriter.h"
#include "export/BankParts.h"
#include "export/NoteStream.h"
#include "processing/SegmentSeries.h"

#include <cstdio>
#include <filesystem>

namespace tolvane {

std::string sfzText(const std::vector<std::string>& sampleFiles, const BankSettings& settings,
                    const std::string& sourceName) {
    // Names go on the comment line without their line breaks, so that none can start a line
    // (a region, an include) of its own.
    std::string text = "// " + withoutControlCharacters(settings.keymap.bankName) + ": " +
                       std::to_string(sampleFiles.size()) + " segments of " +
                       withoutControlCharacters(sourceName) +
                       ", one key each, written by WaveTolvane\n";
    if (settings.tempo > 0) {
        char tempo[64];
        std::snprintf(tempo, sizeof tempo, "// tempo %.2f bpm\n", settings.tempo);
        text += tempo;
    }
    text += "<group>\n";
    for (std::size_t i = 0; i < sampleFiles.size(); ++i) {
        const KeyRange keys = bank::segmentKeys(settings, static_cast<int>(i) + 1);
        // Beside the instrument: the name alone, so the folder can move.
        const std::string name = std::filesystem::path(sampleFiles[i]).filename().string();
        text += "<region> sample=" + name + " lokey=" + std::to_string(keys.low) +
                " hikey=" + std::to_string(keys.high) +
                " pitch_keycenter=" + std::to_string(keys.key) + "\n";
    }
    return text;
}

std::vector<std::string> writeSfzWithSeries(const SampleDocument& doc, const BankFile& file,
                                            const BankSettings& settings) {
    std::vector<std::string> written;
    SeriesListener listener;
    listener.written = [&written](const SeriesFile& wave) { written.push_back(wave.fileName); };
    writeSegmentFiles(doc, file.segments, {file.seriesBase, ".wav"}, settings.smoothAmount,
                      listener);
    const std::string text = sfzText(written, settings, settings.presetName);
    SafeFileWriter out(file.fileName);
    out.write(text.data(), text.size());
    out.commit();
    return written;
}

} // namespace tolvane
