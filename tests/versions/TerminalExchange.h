#pragma once
// An exchange of the terminal on a given port, whose line the version windows
// take over as the main window lends it (ExchangeVersionLine): the tests and
// the benchmark go through the real exchange object and its port.
#include "link/Ats.h"
#include "link/LinkOptions.h"
#include "versions/ExchangeVersionLine.h"

#include <QStringList>

#include <memory>

struct TerminalExchange {
    LinkOptions app;
    std::unique_ptr<TAts> ats;
    QStringList Status; // the main window's status list

    TerminalExchange(const QString& dir, int port, bool duplex = false) {
        app.rollDir = dir + QLatin1Char('/');
        app.duplexMode = duplex;
        ats = std::make_unique<TAts>(app, 1);
        ats->Settings.Port = port;
        ats->Link().SetPortNumber(port);
        ats->SwitchPort(true);
    }
    VersionLineProvider Lines() {
        return [this]() -> std::unique_ptr<VersionLine> {
            return std::make_unique<ExchangeVersionLine>(*ats, app.duplexMode,
                                                         [this](const QString& l) { Status << l; });
        };
    }
};
