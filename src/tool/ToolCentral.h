#pragma once
// varnel-tool central init CONNINFO: creates the central store's tables and
// indexes on the server (what is there already is left as it is); one line
// per table or index. Exit code 0 done, 1 the server cannot be reached or
// refused, 2 wrong use.
#include <QStringList>

int ToolCentral(const QStringList& args);
