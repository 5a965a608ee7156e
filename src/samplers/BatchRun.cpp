#include "samplers/BatchRun.h"

#include "fileio/LoadMessages.h"
#include "fileio/SampleFileReader.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tolvane {
namespace {

bool readWholeFile(const std::string& path, MemoryStream& stream) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    stream.assign(bytes);
    return true;
}

bool fileOpensForReading(const std::string& path) {
    return std::ifstream(path, std::ios::binary).is_open();
}

} // namespace

BatchFileProblem batchFileProblem(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return BatchFileProblem::Missing;
    if (!fileOpensForReading(path))
        return BatchFileProblem::CannotOpen;
    switch (testSampleFile(path).result) {
    case Acceptance::Accepted:
        return BatchFileProblem::None;
    case Acceptance::WrongFormat: // whole, but 8-bit or compressed
        return BatchFileProblem::NotSixteenBit;
    case Acceptance::Unreadable:
        break;
    }
    return BatchFileProblem::Corrupted;
}

std::string batchAddMessage(BatchFileProblem problem, const std::string& name) {
    switch (problem) {
    case BatchFileProblem::Missing:
        return "File " + name + " not found - file may have been moved or deleted";
    case BatchFileProblem::CannotOpen:
        return "Error opening file " + name + "; - may be open in other program";
    case BatchFileProblem::Corrupted:
        return "File " + name + " corrupted!\r\n";
    case BatchFileProblem::NotSixteenBit:
        return "File " + name + " is not a 16 bit sample;\r\nMust be 16bit uncompressed format";
    case BatchFileProblem::None:
        break;
    }
    return {};
}

std::string batchSizeText(const std::string& path) {
    const AcceptanceReport report = testSampleFile(path);
    const std::uint32_t bytes =
        report.result == Acceptance::Unreadable ? 0 : report.info.dataLength;
    return std::to_string(bytes / 1024) + " kb";
}

BatchRun::BatchRun(TSamplerClass& driver, Poster ownerThread, EndRoutine onEnd)
    : m_driver(driver), m_post(std::move(ownerThread)), m_onEnd(std::move(onEnd)) {}

BatchRun::~BatchRun() {
    m_alive->alive = false;
    m_driver.SetWaitingThread(nullptr);
    if (m_running) {
        m_driver.Abort();
        m_driver.SetBatchStream(nullptr);
    }
}

void BatchRun::post(std::function<void()> job) {
    later(std::move(job))();
}

// A callback for the driver that runs `job` on the owner's thread, and nothing once the run is
// gone: the driver may call it after that.
SamplerCallback BatchRun::later(std::function<void()> job) const {
    return [post = m_post, alive = m_alive, job = std::move(job)] {
        post([alive, job] {
            if (alive->alive)
                job();
        });
    };
}

void BatchRun::start(BatchRequest request) {
    m_request = std::move(request);
    m_sentNames.clear();
    m_running = true;
    m_aborted = false;
    m_mapping = false;
    m_sent = 0;
    m_driver.SetWaitingThread(this);
    if (const auto problem = sampleNumberProblem(m_request.protocol, m_request.firstSampleNumber,
                                                 static_cast<int>(m_request.files.size()));
        problem && m_request.protocol != kProtocolAkai) {
        finish(TransferOutcome::failed(*problem), *problem);
        return;
    }
    sendFile(0);
}

void BatchRun::abort() {
    // The driver ends the sample under way and reports it through a callback, so that the
    // next command finds it idle; a second abort gives up on a driver that stays silent.
    const bool again = m_aborted;
    m_aborted = true;
    m_driver.Abort();
    if (again)
        finish(TransferOutcome::cancelled());
}

void BatchRun::Resume() {
    post([this] { mapped(); });
}

void BatchRun::mapped() {
    if (m_mapping)
        finish(m_driver.runner().lastOutcome());
}

void BatchRun::sendFile(std::size_t index) {
    if (!m_running)
        return;
    if (m_aborted) {
        finish(TransferOutcome::cancelled());
        return;
    }
    if (index >= m_request.files.size()) {
        afterLast();
        return;
    }
    const std::string& path = m_request.files[index];
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        finish(TransferOutcome::failed(kMsgFileNotFound), kMsgFileNotFound);
        return;
    }
    if (!readWholeFile(path, m_stream)) {
        finish(TransferOutcome::failed(kMsgBatchOpenError), kMsgBatchOpenError);
        return;
    }
    const AcceptanceReport report = testSampleFile(path);
    const SampleFileInfo& info = report.info;
    const std::size_t dataEnd = std::size_t{info.dataOffset} + info.dataLength;
    if (report.result != Acceptance::Accepted || info.format.channels == 0 ||
        dataEnd > m_stream.size()) {
        finish(TransferOutcome::failed(kMsgBatchCorrupted), kMsgBatchCorrupted);
        return;
    }
    const int k = static_cast<int>(index);
    const KeyRange keys = sendKeys(m_request.protocol, m_request.autoMap, m_request.keymap, k);
    SampleSendArguments arguments;
    arguments.name = batchSampleName(m_request.protocol, path);
    arguments.sampleNumber = m_request.firstSampleNumber + k;
    arguments.highKey = static_cast<std::uint8_t>(keys.high);
    arguments.lowKey = static_cast<std::uint8_t>(keys.low);
    arguments.rootKey = static_cast<std::uint8_t>(keys.key);
    // AIFF data is big-endian already: the driver sends it as it is.
    arguments.byteOrder = isWaveFileName(path) ? 0 : 1;
    arguments.onError = later([this] {
        const TransferOutcome outcome = m_driver.runner().lastOutcome();
        finish(outcome.completed() ? TransferOutcome::failed({}) : outcome);
    });
    arguments.onDone = later([this, index] {
        ++m_sent;
        m_sentNames.push_back(batchSampleName(m_request.protocol, m_request.files[index]));
        sendFile(index + 1);
    });
    arguments.batch = true;
    arguments.positionInRun = k + 1;
    arguments.samplesInRun = static_cast<int>(m_request.files.size());
    arguments.channelsSent = info.format.channels;
    arguments.stereoAsStereo = true;
    arguments.bitsPerSample = info.format.bitsPerSample;
    arguments.sampleRate = info.format.samplesPerSec;
    arguments.sourceChannels = info.format.channels;
    // The whole data chunk: the drivers read a stereo file's frames in one pass.
    arguments.lengthBytes = info.dataLength;
    arguments.startOffset = info.dataOffset;
    m_driver.SetBatchStream(&m_stream);
    m_driver.SendSample(arguments);
}

void BatchRun::afterLast() {
    const int protocol = m_request.protocol;
    const bool mapsByName = protocol == kProtocolYamahaA3000 || protocol == kProtocolAkai;
    if (!m_request.autoMap || m_sent == 0 || !(mapsByName || protocol == kProtocolYamahaEx)) {
        finish(TransferOutcome::done());
        return;
    }
    if (mapsByName)
        m_driver.SetNameList(m_sentNames);
    m_mapping = true;
    const KeymapSettings& keymap = m_request.keymap;
    // The keymap ends through its callback in batch mode, or by resuming this run.
    m_driver.MapSamples(keymap.bankName, keymap.bankName, later([this] { mapped(); }),
                        m_request.firstSampleNumber, m_sent, keymap.whiteKeysOnly, keymap.interval,
                        keymap.baseNote());
}

void BatchRun::finish(TransferOutcome outcome, std::string error) {
    if (!m_running)
        return;
    m_running = false;
    m_mapping = false;
    if (m_aborted && outcome.completed())
        outcome = TransferOutcome::cancelled();
    const BatchResult result{!outcome.completed(), m_sent, std::move(error), std::move(outcome)};
    if (m_onEnd)
        m_onEnd(result);
}

} // namespace tolvane
