#pragma once

#include "app/commands/CommandContext.h"

#include <memory>

namespace tolvane {

class FileCommands;
class PlayCommands;
class SamplerCommands;
class SaveCommands;
class TBatchTrans;
class TemplateCommands;
class TSMDIForm;
struct TransferServices;

// "Sample &Transfer" and "&Batch Transfer": the transfer windows on the drivers of the
// sampler side, with the editor's own steps they need (the save prompt, the load path for a
// received sample, the template after a send).
class TransferCommands {
public:
    TransferCommands(CommandContext& ctx, SamplerCommands& samplers, FileCommands& files,
                     SaveCommands& save, PlayCommands& play, TemplateCommands& templates);
    ~TransferCommands();

    void SMIDITransfer1Click();
    void BatchTransfer1Click();
    // The windows while they are shown (tests drive them).
    TSMDIForm* transferWindow() const { return m_transfer.get(); }
    TBatchTrans* batchWindow() const { return m_batch.get(); }

private:
    TransferServices services();

    CommandContext& m_ctx;
    SamplerCommands& m_samplers;
    FileCommands& m_files;
    SaveCommands& m_save;
    PlayCommands& m_play;
    TemplateCommands& m_templates;
    std::unique_ptr<TSMDIForm> m_transfer;
    std::unique_ptr<TBatchTrans> m_batch;
};

} // namespace tolvane
