#include "samplers/ScsiEnumeration.h"

#include <algorithm>

namespace tolvane {
namespace {

constexpr std::uint8_t kProcessorDevice = 3;
constexpr int kMaxAdaptors = 255;

std::string trimmedField(const std::uint8_t* bytes, std::size_t from, std::size_t to,
                         std::size_t length) {
    std::string field;
    for (std::size_t i = from; i < std::min(to, length); ++i)
        field += static_cast<char>(bytes[i]);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\0'))
        field.pop_back();
    return field;
}

} // namespace

std::vector<std::string> enumerateAdaptors(const ScsiEntry& send) {
    std::vector<std::string> items;
    for (int adaptor = 0; adaptor < kMaxAdaptors; ++adaptor) {
        ScsiRequestBlock inquiry;
        inquiry.command = ScsiRequestBlock::kHostAdaptorInquiry;
        inquiry.adaptor = static_cast<std::uint8_t>(adaptor);
        const std::uint8_t answer = send(inquiry);
        if (inquiry.status == ScsiRequestBlock::kCompleted) {
            const auto* id =
                reinterpret_cast<const std::uint8_t*>(inquiry.adaptorIdentifier.data());
            items.push_back("ID:" + std::to_string(adaptor) + " " + trimmedField(id, 0, 14, 16));
        }
        if (answer >= 8)
            break;
    }
    return items;
}

std::string targetItem(int target, std::uint8_t status, const std::uint8_t* inquiry,
                       std::size_t length) {
    const std::string id = "ID:" + std::to_string(target) + " ";
    if (status != ScsiRequestBlock::kCompleted || length < 36)
        return id + "No Device Found";
    const std::string mark = (inquiry[0] & 0x1F) == kProcessorDevice ? "(*)" : "";
    return id + trimmedField(inquiry, 8, 16, length) + " " + trimmedField(inquiry, 16, 32, length) +
           " " + trimmedField(inquiry, 32, 36, length) + " " + mark;
}

void prepareScsiCommand(ScsiRequestBlock& r, std::uint8_t adaptor, std::uint8_t target,
                        std::uint8_t opcode, bool dataIn, std::uint8_t* data,
                        std::uint32_t length) {
    using R = ScsiRequestBlock;
    r.command = R::kExecuteCommand;
    r.status = R::kPending;
    r.adaptor = adaptor;
    r.flags = R::kPosting | (dataIn ? R::kDataIn : R::kDataOut);
    r.headerReserved = 0;
    r.target = target;
    r.lun = 0;
    r.dataLength = length;
    r.data = length > 0 ? data : nullptr;
    r.senseLength = 14;
    r.cdbLength = 6;
    r.adaptorStatus = 0;
    r.targetStatus = 0;
    r.reserved.fill(0);
    r.cdb.fill(0);
    r.cdb[0] = opcode;
    r.cdb[2] = static_cast<std::uint8_t>(length >> 16);
    r.cdb[3] = static_cast<std::uint8_t>(length >> 8);
    r.cdb[4] = static_cast<std::uint8_t>(length);
    r.sense.fill(0);
}

bool TargetEnumeration::start(std::uint8_t adaptor, Done done) {
    {
        std::lock_guard lock(m_mutex);
        if (m_running)
            return false;
        m_running = true;
    }
    m_adaptor = adaptor;
    m_done = std::move(done);
    m_items.clear();
    // Set once: a completion must not replace itself while it runs.
    m_request.completion = [this](ScsiRequestBlock&) { completed(); };
    inquire(0);
    return true;
}

void TargetEnumeration::inquire(int target) {
    // Each target is asked from the completion of the one before it.
    for (; target < kScsiTargets; ++target) {
        m_inquiry.fill(0);
        prepareScsiCommand(m_request, m_adaptor, static_cast<std::uint8_t>(target), kInquiryOpcode,
                           true, m_inquiry.data(), kInquiryLength);
        m_request.timeoutMs = 5000;
        m_target = target;
        if (m_send(m_request) == ScsiRequestBlock::kPending)
            return;
        m_items.push_back(targetItem(target, m_request.status, m_inquiry.data(), 0));
    }
    Done done = std::move(m_done);
    std::vector<std::string> items = std::move(m_items);
    if (done)
        done(std::move(items));
    // Notified under the lock: once it is released the owner may destroy this object.
    std::lock_guard lock(m_mutex);
    m_running = false;
    m_finished.notify_all();
}

void TargetEnumeration::completed() {
    m_items.push_back(targetItem(m_target, m_request.status, m_inquiry.data(), m_inquiry.size()));
    inquire(m_target + 1);
}

void TargetEnumeration::wait() {
    std::unique_lock lock(m_mutex);
    m_finished.wait(lock, [&] { return !m_running; });
}

std::vector<std::string> TargetEnumeration::run(std::uint8_t adaptor) {
    std::vector<std::string> result;
    if (!start(adaptor, [&](std::vector<std::string> items) { result = std::move(items); }))
        return result;
    wait();
    return result;
}

} // namespace tolvane
