#pragma once
// The panels of the statistics windows: one per kit, direction, rack or
// block, with a caption, a tag (its number), a colour (a Windows colour
// value) and a raised or lowered bevel. A colour or bevel is written only
// when it changes, so a live repaint touches only the panels that change.
#include "stats/StatValues.h"

#include <QLabel>

#include <cstdint>
#include <vector>

class QGridLayout;
class QStatusBar;
class QTimer;

// A Windows colour value as a colour of this palette (0x8000000F is the
// palette's button colour).
QColor WindowsColour(uint32_t value, const QPalette& palette);
// Fills a widget's background with a Windows colour.
void SetBackground(QWidget* w, uint32_t value);

class KitPanel : public QLabel {
    Q_OBJECT
public:
    KitPanel(int tag, const QString& caption, QWidget* parent = nullptr);

    int Tag() const { return m_tag; }
    void SetTag(int tag) { m_tag = tag; }
    uint32_t Colour() const { return m_colour; }
    bool Raised() const { return m_raised; }
    // Writes the colour when it differs; true when written.
    bool SetColour(uint32_t value);
    void SetRaised(bool raised);
    // A look: the bevel, and the colour unless it keeps its own.
    void Apply(const stats::PanelLook& look);
    // Colour writes so far (a repaint's cost).
    int ColourWrites() const { return m_writes; }

signals:
    void clicked(int tag);
    void hovered(int tag);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;

private:
    int m_tag;
    uint32_t m_colour = stats::colour::kButtonFace;
    bool m_raised = true;
    bool m_pressed = false;
    int m_writes = 0;
};

// A panel caption of two hexadecimal digits: "00".."3F".
QString TwoDigitCaption(int n);

// count panels named prefix + 1.. in a grid of `columns` columns on parent's
// layout; captions from caption(tag).
std::vector<KitPanel*> BuildPanels(QWidget* parent, QGridLayout* grid, int count, int columns,
                                   const QString& prefix, QString (*caption)(int tag),
                                   const QSize& size);

// The status bar of a statistics window with the receive indicator at its
// right end: PanelGet turns lime for each frame and back to the button face
// after 40 ms (Timer1).
struct StatusStrip {
    QStatusBar* StatusBar1 = nullptr;
    KitPanel* PanelGet = nullptr;
    QTimer* Timer1 = nullptr;
    // PanelGet lime for 40 ms.
    void Flash() const;
};
// The strip's widgets, children of window (the caller places StatusBar1).
StatusStrip BuildStatusStrip(QWidget* window);

// Moves a detail window beside its overview: to its right when the screen
// has room there, else to its left, else over it; always inside the screen.
void PlaceBeside(QWidget& detail, const QWidget& overview);
