#include "stats/ui/PbRun.h"

#include "stats/StatRun.h"
#include "stats/ui/FormStatPB.h"
#include "stats/ui/StatDesk.h"

#include <memory>

namespace {
// The run with the window (freed with the run).
class PbRun : public QObject {
public:
    PbRun(StatDesk& desk, std::unique_ptr<TFormStatPB> window)
        : m_desk(desk), m_window(std::move(window)),
          m_run(std::make_unique<StatRun>(desk.Context(), m_window->Stats(), desk.Hooks())) {
        connect(m_run.get(), &StatRun::ended, this, [this] { m_desk.Finished(this); });
    }
    ~PbRun() override {
        m_window->disconnect(this);
        m_run.reset();
        m_window.reset();
        m_desk.RestoreMain();
    }

    void Start() {
        m_run->Prepare();
        if (!m_run->Begin(true, true)) return;
        m_run->RunSteps({TStatPbAts::CountStep()}, [this] {
            m_run->RunSteps(TStatPbAts::TableSteps(m_run->Fields().PbLastKit), [this] { Live(); });
        });
    }

private:
    void Live() {
        const int last = m_run->Fields().PbLastKit;
        m_run->StartLive(TStatPbAts::BusyStep(last));
        m_window->ShowReceivers(last);
        connect(m_window.get(), &KitWindow::hidden, this, [this] {
            m_run->StopDecoding();
            m_run->End();
        });
        m_desk.ShowLive(m_window.get());
    }

    StatDesk& m_desk;
    std::unique_ptr<TFormStatPB> m_window;
    std::unique_ptr<StatRun> m_run;
};
} // namespace

void ButtonStatPBClick(StatDesk& desk) {
    auto* run = new PbRun(desk, std::make_unique<TFormStatPB>());
    desk.Keep(run);
    run->Start();
}
