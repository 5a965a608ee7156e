#include "samplers/SamplerDrivers.h"

#include "platform/ScsiBus.h"
#include "samplers/TAkaiS2000Driver.h"
#include "samplers/TSDSDriver.h"
#include "samplers/TSMIDIDriver.h"

namespace tolvane {

SamplerDrivers makeSamplerDrivers(ScsiBus& bus, TMidiInput& input, TMidiOutput& output, Poster post,
                                  DriverMessages* messages, SdsTimings sdsTimings) {
    auto sds = std::make_unique<TSDSDriver>(input, output, std::move(post), sdsTimings);
    sds->setMessages(messages);
    auto smdi = std::make_unique<TSMIDIDriver>(bus, &output);
    smdi->setMessages(messages);
    auto akai = std::make_unique<TAkaiS2000Driver>(bus.entry(), messages);
    return {std::move(sds), std::move(smdi), std::move(akai)};
}

} // namespace tolvane
