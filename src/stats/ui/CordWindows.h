#pragma once
// The windows of the cord kit statistics, the part both kinds share: the
// overview of 16 racks (equipped ones raised and green, caption with the
// exchange kind) and the live detail of one rack's 32 kits.
#include "stats/CordStats.h"
#include "stats/ui/KitWindow.h"

#include <memory>

class CordDetail;

class CordOverview : public KitWindow {
    Q_OBJECT
public:
    // Owns the protocol object.
    CordOverview(std::unique_ptr<CordStats> stats, const QString& name);
    ~CordOverview() override;

    CordStats& Stats() { return *m_stats; }
    CordDetail* Detail() const { return m_detail.get(); }
    // The rack panels from the rack bits.
    void Repaint();

protected:
    // The caption: the kind's prefix and the exchange kind.
    void showEvent(QShowEvent* e) override;
    // The detail window of this kind (owned by the overview).
    void SetDetail(std::unique_ptr<CordDetail> detail);

private:
    std::unique_ptr<CordStats> m_stats;
    std::unique_ptr<CordDetail> m_detail;
};

class CordDetail : public KitWindow {
    Q_OBJECT
public:
    CordDetail(CordStats& stats, const QString& name);

    // Caption: the kind's prefix and the rack; the panels take the rack's kit
    // numbers as tags and captions, and the button face until the first frame.
    void ShowRack(int rack);
    // The kits whose state has a colour.
    void Repaint();

private:
    CordStats& m_stats;
};
