#pragma once
// varnel-tool central init CONNINFO: creates the central store's tables and
// indexes on the server (what is there already is left as it is); one line
// per table or index. Exit code 0 done, 1 the server cannot be reached or
// refused, 2 wrong use.
// varnel-tool central status [TABLE_FOLDER]: the local queue's pending,
// acknowledged, oldest pending and quarantined counts (the folder defaults to
// the alias PelmarkStandard); exit code 1 when there is no queue.
#include <QStringList>

int ToolCentral(const QStringList& args);
