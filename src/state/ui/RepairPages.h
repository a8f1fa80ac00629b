#pragma once
// "Директивы ТО" › "Ремонт ШК", "Ремонт ИК", "Ремонт ВК": the kit repair
// forms. "Запуск" sends the composed directive; the mouse over "Запуск" shows
// it in the status bar's first panel without sending.
#include "state/KitRepair.h"

#include <QObject>

#include <array>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QEvent;
class MaskEdit;
class QPushButton;
struct StateContext;

class RepairPages : public QObject {
    Q_OBJECT
public:
    explicit RepairPages(StateContext& ctx);

    // The directive the kit's form composes now.
    QString Directive(repair::Kit kit) const;
    // "Запуск": the directive through the directive entry; without a kit
    // number nothing is sent and the operator is asked for it.
    void RepairClick(repair::Kit kit);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct Controls {
        MaskEdit* number = nullptr;
        QButtonGroup* cycle = nullptr;
        QButtonGroup* relay = nullptr; // none for ШК
        std::vector<std::pair<QCheckBox*, int>> off, on;
        QPushButton* start = nullptr;
    };
    const Controls& Of(repair::Kit kit) const { return m_controls[size_t(kit)]; }

    StateContext& m_ctx;
    std::array<Controls, 3> m_controls{};
};
