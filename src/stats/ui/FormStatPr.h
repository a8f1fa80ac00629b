#pragma once
// TFormStatPr, the progress window of the statistics (and of the state
// analysis): caption "Сбор информации. ESCAPE - выход", no border icons,
// stays on top, centred on the screen; Panel1 holds ProgressBar1 (0..100).
// While it is visible, Panel1 flashes lime for each data-frame header (the
// request tracker's indicator).
#include <QWidget>

class QFrame;
class QProgressBar;
class RequestTracker;

class TFormStatPr : public QWidget {
    Q_OBJECT
public:
    explicit TFormStatPr(QWidget* parent = nullptr);

    // Shown, centred, with the bar at 0.
    void ShowProgress();
    // The bar's position, 0..100.
    void SetProgress(int value);
    void HideProgress();
    // The tracker asks this window whether it is visible, and its indicator
    // lights Panel1 lime (and back to the button face).
    void BindTracker(RequestTracker& tracker);
    // Panel1 lit or back to the button-face colour.
    void SetIndicator(bool lit);
    bool IndicatorLit() const { return m_lit; }

    QFrame* Panel1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

private:
    bool m_lit = false;
};
