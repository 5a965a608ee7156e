#pragma once

#include "platform/Poster.h"
#include "samplers/SamplerTypes.h"
#include "slicing/Keymap.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <mutex>
#include <string>

namespace tolvane {

class Dialogs;
class SamplerProfileStore;
class TWaveSmoother;
class twabeAudio;
struct SampleDocument;

// Jobs for the thread of `context`, dropped when it is gone by the time they would run.
inline Poster postTo(QObject* context) {
    return [guard = QPointer<QObject>(context)](std::function<void()> job) {
        if (guard)
            QMetaObject::invokeMethod(
                guard.data(),
                [guard, job = std::move(job)] {
                    if (guard)
                        job();
                },
                Qt::QueuedConnection);
    };
}

// A driver's status text and progress, which may come from a device thread, shown on the
// window's thread: the text as it is, the progress by its numbers.
class PostedStatusPanel final : public StatusPanel {
public:
    PostedStatusPanel(Poster post, std::function<void(const QString&)> show,
                      std::function<void(const TransferProgress&)> showProgress = {})
        : m_post(std::move(post)), m_show(std::move(show)),
          m_showProgress(std::move(showProgress)) {}
    void setText(const std::string& text) override {
        m_post([show = m_show, text = QString::fromStdString(text)] { show(text); });
    }
    void setProgress(const TransferProgress& progress) override {
        if (!m_showProgress) {
            setText(progress.text);
            return;
        }
        m_post([show = m_showProgress, progress] { show(progress); });
    }

private:
    Poster m_post;
    std::function<void(const QString&)> m_show;
    std::function<void(const TransferProgress&)> m_showProgress;
};

inline constexpr const char* kInactive = "Inactive";
inline constexpr const char* kMsgNoPresets =
    "No presets found - use the preset manager to add a preset.";
inline constexpr const char* kMsgNoScsi = "Cannot initialise SCSI interface!";
inline constexpr const char* kMsgProceedWithoutMapping =
    "Samples exceed available notes - mapping is not possible.\r\n\r\nProceed without mapping?";
inline constexpr const char* kMsgSendNext = "Send next sample?";
inline constexpr const char* kMsgProfileDeviceOutOfRange =
    "Device ID out of range:\r\nCheck settings - MIDI or SCSI device may have been removed";
inline constexpr const char* kMsgProfileUnreadable =
    "Error reading preset - may be corrupted!\r\nCheck settings in preset manager";

// What the transfer windows need of the editor: the document, the dialog service, the stored
// profiles and the drivers behind them, the keymap, and the editor's own steps they trigger.
struct TransferServices {
    SampleDocument& doc;
    Dialogs& dialogs;
    SamplerProfileStore& profiles;
    const SamplerDriverTable& drivers;
    TMidiInput* midiInput = nullptr;
    TMidiOutput* midiOutput = nullptr;
    TWaveSmoother& smoother;
    KeymapSettings& keymap;
    int& lastProfile;             // "PNo": the profile used last
    twabeAudio* player = nullptr; // the batch window's audition
    bool scsiAvailable = true;
    int midiInputCount = 0; // the devices a profile's indices must fall within
    int midiOutputCount = 0;
    std::function<void(const QString&)> showStatus{}; // the main window's status panel 1
    std::function<void()> stopPlayback{};
    std::function<void()> openProfileManager{};
    // The modified document saved or its changes let go; false when the user cancelled.
    std::function<bool()> confirmDiscard{};
    // A received sample becomes the document, as a loaded file does.
    std::function<void(SampleDocument&&, const std::string& name)> adoptReceived{};
    // Opens a file of the batch list in the editor.
    std::function<void(const QString& file)> openFile{};
    // "Save midi template": choosing the file before the send (false: cancelled) and writing
    // it after.
    std::function<bool()> prepareTemplate{};
    std::function<void()> writeTemplate{};
};

} // namespace tolvane
