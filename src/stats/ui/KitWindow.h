#pragma once
// A statistics window that is one grid of panels (kits, blocks or racks),
// with, where the kind has them, a status bar and the receive indicator. The
// status bar follows the kit hint rule: the mouse over a panel shows the
// status text of its colour ("Свободен", "Блокирован", ...); other colours
// leave it as it is.
#include "stats/ui/KitPanel.h"

#include <QString>
#include <QWidget>

#include <vector>

class KitWindow : public QWidget {
    Q_OBJECT
public:
    struct Form {
        QString name;    // objectName
        QString caption; // window title
        int count = 0;
        int columns = 8;
        QSize panelSize{44, 30};
        QString (*panelCaption)(int tag) = nullptr;
        bool stayOnTop = false;
        bool statusBar = false; // status bar, PanelGet and Timer1
    };
    explicit KitWindow(const Form& form);

    const std::vector<KitPanel*>& Panels() const { return m_panels; }
    KitPanel* PanelAt(int index) const;
    // PanelGet lime for 40 ms (a frame has arrived).
    void FlashReceive();
    // The status bar shows the kit status of the panel's colour.
    void KitHover(int index);

    KitPanel* PanelGet = nullptr;
    QTimer* Timer1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

signals:
    // A panel clicked, by its index (0 for Panel1).
    void panelClicked(int index);
    // The window has been hidden or closed (a minimised window is still
    // shown).
    void hidden();

protected:
    void hideEvent(QHideEvent* e) override;

private:
    std::vector<KitPanel*> m_panels;
};
