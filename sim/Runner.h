#pragma once
// The simulator's main loop: one poll over the line and standard input,
// sleeping until the next thing is due. Commands come from a script file
// (first) and from standard input, one per line; replies go to standard
// output, one line each.
#include "Exchange.h"
#include "Line.h"

#include <QString>

namespace sim {

struct RunnerOptions {
    QString script;
    int baud = 57600; // pace of the output; 0: as fast as the line takes it
    bool verbose = false;
};

// Runs until a "quit" command. Returns the process exit status.
int RunSimulator(SimExchange& exchange, SimLine& line, const RunnerOptions& options);

} // namespace sim
