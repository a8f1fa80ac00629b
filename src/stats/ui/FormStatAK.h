#pragma once
// TFormStatAK, the subscriber kit overview "Статистика АК (БАЛ)": 32 block
// panels (hint: the block's kit range), present blocks raised and green. A
// click opens the block in the detail window TFormAKNapr, which the overview
// owns with the protocol object.
#include "stats/StatAKAts.h"
#include "stats/ui/KitWindow.h"

#include <memory>

class TFormAKNapr;

class TFormStatAK : public KitWindow {
    Q_OBJECT
public:
    TFormStatAK();
    ~TFormStatAK() override;

    TStatAKAts& Stats() { return *m_stats; }
    TFormAKNapr* FormAKNapr() const { return m_detail.get(); }
    // The block panels from the block bits.
    void Repaint();

private:
    std::unique_ptr<TStatAKAts> m_stats;
    std::unique_ptr<TFormAKNapr> m_detail;
};
