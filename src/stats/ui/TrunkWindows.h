#pragma once
// The windows of the trunk statistics, the part both kinds share: the
// overview (one panel per direction, live load colours, the receive
// indicator, the load hint in its status bar) and the detail window of one
// direction (one panel per kit, totals, kit hints). They only paint what
// TrunkStats computes.
#include "stats/TrunkStats.h"

#include <QWidget>

#include <memory>
#include <vector>

class KitPanel;
class QProgressBar;
class QStatusBar;
class QTimer;
class TrunkDetail;

class TrunkOverview : public QWidget {
    Q_OBJECT
public:
    // Owns the protocol object; creates the kind's missing tables.
    // panelCaption: a direction's panel caption.
    TrunkOverview(std::unique_ptr<TrunkStats> stats, int columns, const QString& caption,
                  QString (*panelCaption)(int));
    ~TrunkOverview() override;

    TrunkStats& Stats() { return *m_stats; }
    TrunkDetail* Detail() const { return m_detail.get(); }
    const std::vector<KitPanel*>& Panels() const { return m_panels; }

    // The overview's form of the live repaint.
    void Repaint();
    // A live frame: the detail's form while the detail window is visible.
    void LiveFrame();
    // PanelGet lime for 40 ms.
    void FlashReceive();
    // A direction panel: the detail window of the direction, shown until it
    // is closed (the overview is hidden meanwhile, then repainted and shown
    // again).
    void DirectionClick(int direction);
    // The status bar shows the load hint of the panel's colour.
    void DirectionHover(int direction);

    KitPanel* PanelGet = nullptr;
    QTimer* Timer1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

signals:
    // The overview has been hidden or closed, other than for its detail
    // window: the live display ends.
    void hidden();

protected:
    // The detail window of this kind (owned by the overview).
    void SetDetail(std::unique_ptr<TrunkDetail> detail);
    void hideEvent(QHideEvent* e) override;

private:
    void DetailHidden();

    std::unique_ptr<TrunkStats> m_stats;
    std::unique_ptr<TrunkDetail> m_detail;
    std::vector<KitPanel*> m_panels;
    bool m_detailShown = false; // hidden for the detail window
};

class TrunkDetail : public QWidget {
    Q_OBJECT
public:
    explicit TrunkDetail(TrunkStats& stats);

    const std::vector<KitPanel*>& Panels() const { return m_panels; }
    // Caption, member count and header of direction d.
    void ShowDirection(int direction);
    // The detail form of the live repaint.
    void Repaint();
    // The kit panel's hint (tool tip) from its kit record.
    void KitHover(int kit);

    QProgressBar* ProgressBar1 = nullptr;

signals:
    // The detail has been hidden or closed.
    void hidden();

protected:
    void hideEvent(QHideEvent* e) override;
    // The kind's labels.
    virtual void ShowCount(int present) = 0;
    virtual void ShowTotals(const TrunkStats::Detail& detail) = 0;
    virtual void ShowHeader(int direction) { (void)direction; }
    // Where the kind puts its labels and check boxes (above the kit grid).
    QWidget* InfoArea() const { return m_info; }
    TrunkStats& m_stats;

private:
    std::vector<KitPanel*> m_panels;
    QWidget* m_info = nullptr;
};
