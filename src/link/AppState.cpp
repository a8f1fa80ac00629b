#include "link/AppState.h"

void AppState::AddStatus(const QString& line) const {
    if (Console) Console->AddStatus(line);
}

void AppState::SetPanelText(int panel, const QString& text) const {
    if (Console) Console->SetPanelText(panel, text);
}
