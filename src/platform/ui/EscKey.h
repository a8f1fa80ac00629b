#pragma once
// Keeps EscTracker (platform/EscTracker.h) up to date from the keyboard: an
// application-wide event filter that sees Esc pressed and released. Install
// once after the application object exists.
void InstallEscKeyFilter();
