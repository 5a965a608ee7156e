#include "app/commands/BankCommands.h"

#include "app/BusyRunner.h"
#include "app/WaveformDisplay.h"
#include "app/commands/SaveCommands.h"
#include "slicing/LoopSegments.h"

#include <QFileInfo>
#include <algorithm>
#include <filesystem>

namespace tolvane {
namespace {

constexpr const char* kMsgSoundFontFailed =
    "Error saving SoundFont file;\r\nMay be insufficent disk space or file may be open";
constexpr const char* kMsgBankFailed =
    "Error writing file - may already be in use, or insufficient disk space?";
constexpr const char* kMsgHostLibraryMissing = "Dll not found - please reinstall WaveTolvane!";
constexpr const char* kMsgHostEntryMissing = "Error - please reinstall WaveTolvane!";

const QStringList kBankFilters = {
    "DownLoadable Sound files - Level 1 (*.dls)", "GigaSampler Instrument files (*.gig)",
    "Pinnacle Bank files (*.pbf)", "Sound Font 2.0 files (*.sf2)", "SFZ instrument files (*.sfz)"};
constexpr int kSoundFontFilter = 3;

QString statusFor(BankFormat format) {
    switch (format) {
    case BankFormat::Dls:
        return "Saving DLS file...";
    case BankFormat::GigaSampler:
        return "Saving GIG file...";
    case BankFormat::Pinnacle:
        return "Saving PBF file...";
    case BankFormat::Sfz:
        return "Saving SFZ file...";
    case BankFormat::SoundFont:
        break;
    }
    return "Saving SoundFont...";
}

// The most segments one bank file of the document holds: what the keymap window must place.
int segmentsPerBank(const SampleDocument& doc) {
    std::size_t most = loopSegments(doc, 1).size();
    if (doc.Channels == 2 && !doc.MergeChannels)
        most = std::max(most, loopSegments(doc, 2).size());
    return static_cast<int>(most);
}

} // namespace

void BankCommands::SaveSFItemClick() {
    const SampleDocument& doc = m_ctx.doc;
    if (!doc.DocumentOpen || m_ctx.busy())
        return;
    if (!m_save.chooseKeymap(KeymapFor::Bank, segmentsPerBank(doc)))
        return;
    saveBank(QFileInfo(QString::fromStdString(doc.FileName)).completeBaseName());
}

void BankCommands::saveBankAfterTemplate(const QString& midiFileName) {
    if (!m_ctx.doc.DocumentOpen || m_ctx.busy())
        return;
    saveBank(QFileInfo(midiFileName).completeBaseName());
}

BankSettings BankCommands::bankSettings() const {
    const KeymapSettings& keymap = m_save.keymap();
    BankSettings settings;
    settings.keymap = keymap;
    settings.smoothAmount = keymap.smoothEndPoints ? keymap.smoothLevel : 0;
    settings.presetName = std::filesystem::path(m_ctx.doc.FileName).stem().string();
    settings.creationDate = soundFontDateToday();
    settings.tempo = m_ctx.doc.LoopTempo;
    return settings;
}

InstrumentHost& BankCommands::host() {
    if (!m_host)
        m_host = std::make_unique<SharedLibraryInstrumentHost>(m_ctx.settings.GigaHostLib);
    return *m_host;
}

void BankCommands::saveBank(const QString& presetFileName) {
    const QString chosen =
        m_ctx.dialogs.saveFile({"Save Sound Bank As", m_ctx.settings.SaveSFDir, kBankFilters, "sf2",
                                presetFileName, kSoundFontFilter});
    if (chosen.isEmpty())
        return;
    const std::string target = chosen.toStdString();
    const BankFormat format = bankFormatOf(target);
    try { // refusals come before anything is written
        const std::vector<BankFile> files = planBankFiles(m_ctx.doc, target, format);
        checkBankLimits(files, m_save.keymap(), format);
        if (m_save.refuseOpenSampleAsOutput(bankOutputFiles(files, format)))
            return;
    } catch (const BankRefused& e) {
        m_ctx.dialogs.message(MessageKind::Error, "", e.what());
        return;
    }
    m_ctx.settings.SaveSFDir = QFileInfo(chosen).absolutePath();

    struct Outcome {
        std::vector<BankFileResult> results;
        std::vector<HostNotice> notices;
    };
    auto outcome = std::make_shared<Outcome>();
    InstrumentHost* gigaHost = format == BankFormat::GigaSampler ? &host() : nullptr;
    auto work = [this, outcome, target, gigaHost, settings = bankSettings()] {
        outcome->results = writeSoundBank(m_ctx.doc, target, settings);
        if (!gigaHost)
            return;
        for (const BankFileResult& result : outcome->results)
            if (result.written)
                outcome->notices.push_back(gigaHost->notifyNewInstrument(result.fileName));
    };
    // Pinnacle banks and SFZ instruments are a segment series and the file that plays it.
    const bool series = format == BankFormat::Pinnacle || format == BankFormat::Sfz;
    BusyRunner::Job job;
    job.status = statusFor(format);
    job.worker = series ? std::unique_ptr<WorkerThread>(std::make_unique<TCutWave>(work))
                        : std::make_unique<tfontsave>(work);
    job.finished = [this, outcome, format](WorkerThread& done) {
        m_ctx.setStatus(1, m_ctx.formatText());
        if (done.failed()) // nothing was reported file by file
            outcome->results.push_back({{}, false, done.error(), {}});
        reportOutcome(format, outcome->results, outcome->notices);
        m_ctx.display.redrawAll();
    };
    m_ctx.runner.start(std::move(job));
}

void BankCommands::reportOutcome(BankFormat format, const std::vector<BankFileResult>& results,
                                 const std::vector<HostNotice>& notices) {
    for (const BankFileResult& result : results) {
        if (result.written)
            continue;
        // The format's own message, then what actually went wrong.
        const QString reason = QString::fromStdString(result.error);
        QString text;
        if (format == BankFormat::SoundFont)
            text = kMsgSoundFontFailed;
        else if (format == BankFormat::Dls || format == BankFormat::GigaSampler)
            text = kMsgBankFailed;
        if (text.isEmpty())
            text = reason;
        else if (!reason.isEmpty())
            text += "\r\n\r\n" + reason;
        m_ctx.dialogs.message(MessageKind::Error, "", text);
    }
    // With no host library set nobody is told, and that is no failure: the bank was written.
    for (const HostNotice notice : notices) {
        if (notice == HostNotice::LibraryMissing)
            m_ctx.dialogs.message(MessageKind::Error, "", kMsgHostLibraryMissing);
        else if (notice == HostNotice::EntryMissing)
            m_ctx.dialogs.message(MessageKind::Error, "", kMsgHostEntryMissing);
    }
}

} // namespace tolvane
