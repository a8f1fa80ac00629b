#include "ToolCentral.h"

#include "ToolLine.h"
#include "central/CentralSchema.h"
#include "central/Outbox.h"
#include "tables/Aliases.h"

#include <QDir>

namespace {

int Init(const QString& conninfo) {
    QStringList report;
    QString error;
    const bool ok = CentralSchema::Init(conninfo, &report, &error);
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

// The local queue's state: what waits for the server, what it holds, what
// was set aside.
int Status(const QString& folder) {
    QString error;
    const QString dir =
        folder.isEmpty()
            ? tables::AliasDirectory(tables::kAliasStandard, QDir::currentPath(), &error, false)
            : folder;
    if (dir.isEmpty()) {
        ToolErr() << "central status: " << error << '\n';
        ToolErr().flush();
        return 1;
    }
    const OutboxStatus st = Outbox::ReadStatus(dir);
    if (!st.exists) {
        ToolErr() << "central status: no queue in " << QDir::toNativeSeparators(dir)
                  << (st.error.isEmpty() ? QString() : QStringLiteral(": ") + st.error) << '\n';
        ToolErr().flush();
        return 1;
    }
    ToolOut() << "queue " << QDir::toNativeSeparators(QDir(dir).filePath(Outbox::kFileName))
              << ", epoch " << st.epoch << '\n'
              << "pending " << st.pending << '\n'
              << "acknowledged " << st.acknowledged << '\n'
              << "oldest pending "
              << (st.oldestPending.isValid() ? st.oldestPending.toString(Qt::ISODate)
                                             : QStringLiteral("-"))
              << '\n'
              << "quarantined " << st.quarantined << '\n';
    ToolOut().flush();
    return 0;
}

} // namespace

int ToolCentral(const QStringList& args) {
    if (args.size() == 2 && args[0] == QLatin1String("init")) return Init(args[1]);
    if (args.size() <= 2 && !args.isEmpty() && args[0] == QLatin1String("status"))
        return Status(args.value(1));
    ToolErr() << "usage: varnel-tool central init CONNINFO | central status [TABLE_FOLDER]\n";
    return 2;
}
