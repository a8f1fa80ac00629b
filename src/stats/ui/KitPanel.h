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

// count panels named prefix + 1.. in a grid of `columns` columns on parent's
// layout; captions from caption(tag).
std::vector<KitPanel*> BuildPanels(QWidget* parent, QGridLayout* grid, int count, int columns,
                                   const QString& prefix, QString (*caption)(int tag),
                                   const QSize& size);
