#include "app/commands/AuditionCommands.h"

#include "app/Dialogs.h"
#include "app/WaveformDisplay.h"
#include "app/commands/SamplerCommands.h"
#include "app/commands/SaveCommands.h"
#include "app/controls/TWaveBox.h"
#include "audio/twabeAudio.h"
#include "audition/Audition.h"
#include "audition/AuditionKeys.h"
#include "midi/MidiDevices.h"
#include "platform/MidiBackend.h"
#include "view/ViewState.h"

#include <QAction>
#include <algorithm>
#include <cstring>

namespace tolvane {
namespace {

constexpr const char* kAuditionTitle = "Play from MIDI keyboard";

bool sameKeys(const AuditionKey& a, const AuditionKey& b) {
    if (a.partCount != b.partCount)
        return false;
    for (int p = 0; p < a.partCount; ++p) {
        const AuditionPart& x = a.parts[static_cast<std::size_t>(p)];
        const AuditionPart& y = b.parts[static_cast<std::size_t>(p)];
        if (x.startFrame != y.startFrame || x.endFrame != y.endFrame ||
            x.channelMask != y.channelMask)
            return false;
    }
    return true;
}

} // namespace

AuditionCommands::AuditionCommands(CommandContext& ctx, SamplerCommands& sampler,
                                   SaveCommands& save)
    : m_ctx(ctx), m_sampler(sampler), m_save(save) {}

AuditionCommands::~AuditionCommands() {
    *m_alive = false;
    stop();
}

void AuditionCommands::PlayFromKeyboard1Click() {
    QAction* item = m_ctx.controls.PlayFromKeyboard1;
    if (!item->isChecked()) {
        stop();
        return;
    }
    item->setChecked(start());
}

void AuditionCommands::PlayThrough1Click() {
    m_ctx.settings.AuditionPlayThrough = m_ctx.controls.PlayThrough1->isChecked();
    refresh();
}

// The port of the setting, or, the first time (or when that port is gone), the one the user
// names.
std::optional<int> AuditionCommands::choosePort() {
    const std::vector<std::string> inputs = m_sampler.midiBackend().inputs();
    if (!m_ctx.settings.AuditionPort.isEmpty())
        if (const auto found = findPortByName(inputs, m_ctx.settings.AuditionPort.toStdString()))
            return found;
    if (inputs.empty()) {
        m_ctx.dialogs.message(MessageKind::Error, kAuditionTitle,
                              "There is no MIDI input to play from.");
        return std::nullopt;
    }
    QString offered = m_ctx.settings.AuditionPort.isEmpty() ? QString::fromStdString(inputs.front())
                                                            : m_ctx.settings.AuditionPort;
    const std::optional<QString> name = m_ctx.dialogs.askName("MIDI input to play from", offered);
    if (!name)
        return std::nullopt;
    const auto found = findPortByName(inputs, name->toStdString());
    if (!found) {
        QString known;
        for (const std::string& input : inputs)
            known += "\r\n" + QString::fromStdString(input);
        m_ctx.dialogs.message(MessageKind::Error, kAuditionTitle,
                              "There is no MIDI input named \"" + *name +
                                  "\". The inputs are:" + known);
        return std::nullopt;
    }
    m_ctx.settings.AuditionPort = QString::fromStdString(inputs[static_cast<std::size_t>(*found)]);
    return found;
}

bool AuditionCommands::start() {
    if (!m_ctx.player) {
        m_ctx.dialogs.message(MessageKind::Error, kAuditionTitle,
                              "There is no audio output to play through.");
        return false;
    }
    const std::optional<int> port = choosePort();
    if (!port)
        return false;
    std::weak_ptr<bool> alive = m_alive;
    QObject* window = m_ctx.controls.wave;
    auto onNoteOn = [this, alive, window](int note) {
        // The key's segment is selected on the window's thread.
        QMetaObject::invokeMethod(
            window,
            [this, alive, note] {
                if (const auto living = alive.lock(); living && *living)
                    keyPressed(note);
            },
            Qt::QueuedConnection);
    };
    try {
        twabeAudio* player = m_ctx.player;
        m_audition = std::make_unique<Audition>(
            m_sampler.midiBackend(), *port,
            [player](AudioMixSource* source) { return player->setMixSource(source); },
            m_ctx.doc.SampleRate ? m_ctx.doc.SampleRate : 44100, onNoteOn);
    } catch (const std::exception& e) {
        m_ctx.dialogs.message(MessageKind::Error, kAuditionTitle,
                              QString("Cannot play from ") + m_ctx.settings.AuditionPort + ":\r\n" +
                                  e.what());
        return false;
    }
    m_port = m_ctx.settings.AuditionPort;
    m_samples.clear();
    m_channels = 0;
    m_rate = 0;
    refresh();
    return true;
}

void AuditionCommands::settingsChanged() {
    if (!m_audition || m_ctx.settings.AuditionPort == m_port)
        return;
    stop();
    m_ctx.controls.PlayFromKeyboard1->setChecked(start());
}

void AuditionCommands::stop() {
    m_audition.reset();
    m_samples.clear();
    m_channels = 0;
    if (m_ctx.controls.PlayFromKeyboard1)
        m_ctx.controls.PlayFromKeyboard1->setChecked(false);
}

void AuditionCommands::refresh() {
    // A worker has the document: the next redraw after it comes here again.
    if (!m_audition || m_ctx.busy())
        return;
    const SampleDocument& doc = m_ctx.doc;
    std::unique_ptr<AuditionProgram> program =
        makeAuditionProgram(doc, m_save.keymap(), m_ctx.settings.AuditionPlayThrough);
    if (doc.SampleRate != 0 && doc.SampleRate != m_rate) {
        m_rate = doc.SampleRate;
        m_audition->setSampleRate(m_rate);
    }
    const bool sameData = program->channels == m_channels && program->samples == m_samples;
    const bool sameKeyMap =
        std::equal(program->keys.begin(), program->keys.end(), m_keys.begin(), sameKeys);
    if (sameData && sameKeyMap)
        return;
    m_samples = program->samples;
    m_channels = program->channels;
    m_keys = program->keys;
    m_audition->setProgram(std::move(program));
}

void AuditionCommands::keyPressed(int note) {
    SampleDocument& doc = m_ctx.doc;
    if (!m_audition || m_ctx.busy() || !doc.DocumentOpen)
        return;
    const std::vector<KeySegment> segments = segmentsOnKey(doc, m_save.keymap(), note);
    if (segments.empty())
        return;
    const KeySegment& key = segments.front();
    const std::uint8_t tag =
        m_ctx.isSplitStereo() && key.channel == 1 ? kChannelLeftSplit : kChannelMonoOrRight;
    if (selectSegmentAt(m_ctx.view, doc, key.segment.start, tag)) {
        m_ctx.controls.PopUpZts->setEnabled(true);
        m_ctx.display.drawBars();
        m_ctx.window.updateCommandStates();
    }
}

} // namespace tolvane
