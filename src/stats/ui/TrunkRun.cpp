#include "stats/ui/TrunkRun.h"

#include "platform/ProgramLog.h"
#include "stats/StatRun.h"
#include "stats/ui/FormStatIK.h"
#include "stats/ui/FormStatVK.h"
#include "stats/ui/StatDesk.h"

#include <memory>

namespace {
// The run with the kind's overview (freed with the run).
class TrunkRun : public QObject {
public:
    TrunkRun(StatDesk& desk, std::unique_ptr<TrunkOverview> overview)
        : m_desk(desk), m_overview(std::move(overview)),
          m_run(std::make_unique<StatRun>(desk.Context(), m_overview->Stats(), desk.Hooks())) {
        connect(m_run.get(), &StatRun::ended, this, [this] {
            m_overview->Stats().Tables().Close();
            m_desk.Finished(this);
        });
        connect(m_overview.get(), &TrunkOverview::hidden, m_run.get(), &StatRun::End);
    }
    ~TrunkRun() override {
        m_run.reset();
        m_overview.reset();
        m_desk.RestoreMain();
    }

    void Start() {
        TrunkStats& stats = m_overview->Stats();
        const TrunkKind& kind = stats.Kind();
        m_run->Prepare();
        if (!stats.Tables().Open(m_run->Number()))
            WriteLog(QStringLiteral("Статистика ") + kind.Name + QStringLiteral(": ") +
                     stats.Tables().LastError());
        // Stored configuration in both tables: the operator may skip the
        // reading.
        const bool refresh =
            !stats.Tables().BothHoldRows() || m_desk.Ask(QStringLiteral("Обновить данные"));
        if (refresh) {
            if (!m_run->Begin(true, true)) return;
            m_run->RunSteps(kind.Refresh, [this] {
                m_overview->Stats().LoadRecords();
                Live();
            });
        } else {
            // A closed port ends the stored path without a word.
            if (!m_run->Begin(false, false)) return;
            stats.LoadRecords();
            m_run->RunSteps(kind.Stored, [this] { Live(); });
        }
    }

private:
    void Live() {
        m_overview->Repaint();
        m_run->StartLive(m_overview->Stats().Kind().Live);
        m_desk.ShowLive(m_overview.get());
    }

    StatDesk& m_desk;
    std::unique_ptr<TrunkOverview> m_overview;
    std::unique_ptr<StatRun> m_run;
};

template <class Overview> void StartKind(StatDesk& desk) {
    auto* run = new TrunkRun(desk, std::make_unique<Overview>(desk.Context().CurDir));
    desk.Keep(run);
    run->Start();
}
} // namespace

void ButtonStatVKClick(StatDesk& desk) {
    StartKind<TFormStatVK>(desk);
}

void ButtonStatIKClick(StatDesk& desk) {
    StartKind<TFormStatIK>(desk);
}
