#include "ToolCentral.h"

#include "ToolLine.h"
#include "central/CentralSchema.h"

int ToolCentral(const QStringList& args) {
    if (args.size() != 2 || args[0] != QLatin1String("init")) {
        ToolErr() << "usage: varnel-tool central init CONNINFO\n";
        return 2;
    }
    QStringList report;
    QString error;
    const bool ok = CentralSchema::Init(args[1], &report, &error);
    for (const QString& line : report)
        ToolOut() << line << '\n';
    ToolOut().flush();
    if (!ok) {
        ToolErr() << "central init: " << error << '\n';
        ToolErr().flush();
        return 1;
    }
    return 0;
}
