#include "samplers/TransferRuns.h"

namespace tolvane {

void connectDriver(TSamplerClass& driver, const Poster& ownerThread,
                   const std::shared_ptr<bool>& alive, std::function<void()> then,
                   std::function<void(const TransferOutcome&)> failed) {
    auto continued = std::make_shared<bool>(false);
    driver.Connect([post = ownerThread, alive, continued, then = std::move(then)] {
        *continued = true;
        post([alive, then] {
            if (*alive)
                then();
        });
    });
    // Queued behind the connection on the driver's runner: when it ends, the continuation has
    // run or never will, and the outcome is the connection's.
    TransferRunner& runner = driver.runner();
    runner.run([&runner] { return runner.lastOutcome(); },
               [post = ownerThread, alive, continued,
                failed = std::move(failed)](const TransferOutcome& outcome) {
                   if (*continued)
                       return;
                   post([alive, failed, outcome] {
                       if (*alive && failed)
                           failed(outcome.completed()
                                      ? TransferOutcome::failed("The sampler did not answer.")
                                      : outcome);
                   });
               });
}

// The rows as the driver reads them, handed to the owner's thread. The driver keeps the view
// until its listing ends, which may be after the run is gone: the done callback owns it.
class ListRun::View : public SampleListView {
public:
    View(Poster post, std::shared_ptr<bool> alive, RowHandler onRow, ListRun* run)
        : m_post(std::move(post)), m_alive(std::move(alive)), m_onRow(std::move(onRow)),
          m_run(run) {}
    void clear() override {}
    void addSample(int number, const std::string& name) override {
        m_post([alive = m_alive, run = m_run, row = ListedSample{number, name}] {
            if (!*alive)
                return;
            run->m_samples.push_back(row);
            if (run->m_onRow)
                run->m_onRow(row);
        });
    }

private:
    Poster m_post;
    std::shared_ptr<bool> m_alive;
    RowHandler m_onRow;
    ListRun* m_run;
};

ListRun::ListRun(TSamplerClass& driver, Poster ownerThread, RowHandler onRow, EndRoutine onEnd)
    : m_driver(driver), m_post(std::move(ownerThread)), m_onRow(std::move(onRow)),
      m_onEnd(std::move(onEnd)) {}

ListRun::~ListRun() {
    *m_alive = false;
    if (m_running)
        m_driver.Abort();
}

void ListRun::start() {
    m_samples.clear();
    m_running = true;
    m_driver.ClearAbort();
    connectDriver(
        m_driver, m_post, m_alive,
        [this] {
            auto view = std::make_shared<View>(m_post, m_alive, m_onRow, this);
            m_driver.ListSamples(
                [post = m_post, alive = m_alive, view, this]() mutable {
                    view.reset(); // the driver reads no more rows
                    post([alive, this] {
                        if (*alive)
                            finish(m_driver.runner().lastOutcome());
                    });
                },
                view.get());
        },
        [this](const TransferOutcome& outcome) { finish(outcome); });
}

void ListRun::abort() {
    if (m_running)
        m_driver.Abort();
}

void ListRun::finish(const TransferOutcome& outcome) {
    if (!m_running)
        return;
    m_running = false;
    ListResult result{outcome, m_samples, {}};
    m_driver.GetSampleList(result.directory);
    if (m_onEnd)
        m_onEnd(result);
}

ReceiveRun::ReceiveRun(TSamplerClass& driver, Poster ownerThread, EndRoutine onEnd)
    : m_driver(driver), m_post(std::move(ownerThread)), m_onEnd(std::move(onEnd)) {}

ReceiveRun::~ReceiveRun() {
    *m_alive = false;
    if (m_running) {
        m_driver.Abort();
        m_driver.SetSampleStream(m_restore);
    }
}

void ReceiveRun::start(int sampleNumber, bool connectFirst, MemoryStream* restore) {
    m_restore = restore;
    m_running = true;
    m_aborted = false;
    m_stream->clear();
    m_driver.ClearAbort();
    if (!connectFirst) {
        receive(sampleNumber);
        return;
    }
    connectDriver(
        m_driver, m_post, m_alive, [this, sampleNumber] { receive(sampleNumber); },
        [this](const TransferOutcome& outcome) {
            finish({outcome, {0, 0, 0, 0}, {}});
        });
}

void ReceiveRun::receive(int sampleNumber) {
    if (m_aborted) {
        finish({TransferOutcome::cancelled(), {0, 0, 0, 0}, {}});
        return;
    }
    m_driver.SetSampleStream(m_stream.get());
    m_driver.ReceiveSample(sampleNumber, [post = m_post, alive = m_alive, stream = m_stream,
                                          this](const ReceivedFormat& format) {
        post([alive, this, format] {
            if (*alive)
                finish({m_driver.runner().lastOutcome(), format, m_driver.GetReceivedName()});
        });
    });
}

void ReceiveRun::abort() {
    if (!m_running)
        return;
    m_aborted = true;
    m_driver.Abort();
}

void ReceiveRun::finish(ReceiveResult result) {
    if (!m_running)
        return;
    m_running = false;
    m_driver.SetSampleStream(m_restore);
    if (m_aborted && result.outcome.completed())
        result.outcome = TransferOutcome::cancelled();
    if (m_onEnd)
        m_onEnd(result);
}

} // namespace tolvane
