// varnel-tool: maintenance work without the window, on the terminal's core code.
#include "ToolCentral.h"
#include "ToolDecode.h"
#include "ToolLine.h"
#include "ToolTables.h"
#include "ToolVerify.h"

#include <QCoreApplication>
#include <QStringList>

namespace {
int Usage() {
    ToolErr() << "usage: varnel-tool COMMAND [ARGS]\n"
                 "  encode TEXT\n"
                 "  decode [FILE] [--frames]\n"
                 "  registry list KEY | get KEY NAME | set KEY NAME VALUE [--int|--bool|--string]\n"
                 "  dump TABLE\n"
                 "  load TABLE FILE.csv\n"
                 "  verify TABLE | rebuild TABLE [--like MODEL.db]\n"
                 "  checksum FILE.ver\n"
                 "  central init CONNINFO | central status [TABLE_FOLDER]\n"
                 "The settings store is the file named by VARNEL_REGISTRY, else the user's\n"
                 "configuration folder (the native registry on Windows).\n";
    ToolErr().flush();
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return Usage();
    const QString cmd = args.takeFirst();
    // One line per command.
    if (cmd == QLatin1String("encode")) return ToolEncode(args);
    if (cmd == QLatin1String("registry")) return ToolRegistry(args);
    if (cmd == QLatin1String("decode")) return ToolDecode(args);
    if (cmd == QLatin1String("dump")) return ToolDump(args);
    if (cmd == QLatin1String("load")) return ToolLoad(args);
    if (cmd == QLatin1String("verify")) return ToolVerify(args);
    if (cmd == QLatin1String("rebuild")) return ToolRebuild(args);
    if (cmd == QLatin1String("checksum")) return ToolChecksum(args);
    if (cmd == QLatin1String("central")) return ToolCentral(args);
    return Usage();
}
