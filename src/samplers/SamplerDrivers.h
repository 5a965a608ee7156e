#pragma once

#include "platform/Poster.h"
#include "samplers/SdsHandshake.h"
#include "samplers/TSamplerClass.h"

#include <memory>

namespace tolvane {

class ScsiBus;
class TMidiInput;
class TMidiOutput;

// One driver of each kind (`SDST`, `SMIDIT`, `AkaiSTwoDrv`), made once for the life of the
// program on its MIDI ports and SCSI bus. Their reports and the SDS driver's steps run through
// `post` (the window's thread, or the command line's queue); errors go to `messages`.
struct SamplerDrivers {
    std::unique_ptr<TSamplerClass> sds;
    std::unique_ptr<TSamplerClass> smdi;
    std::unique_ptr<TSamplerClass> akai;
};
SamplerDrivers makeSamplerDrivers(ScsiBus& bus, TMidiInput& input, TMidiOutput& output, Poster post,
                                  DriverMessages* messages, SdsTimings sdsTimings = {});

} // namespace tolvane
