// varnel-tool checksum FILE.ver: the nine control sums of a version file.
#include "ToolLine.h"

#include "link/Notation.h"
#include "versions/VersionChecksum.h"

#include <QFileInfo>

int ToolChecksum(const QStringList& args) {
    if (args.size() != 1) {
        ToolErr() << "usage: varnel-tool checksum FILE.ver\n";
        ToolErr().flush();
        return 2;
    }
    const QString path = args[0];
    if (!RegularFileOrSay(path)) return 1;
    if (QFileInfo(path).isFile() && QFileInfo(path).size() == 0) {
        ToolErr() << path << ": empty file, no sums\n";
        ToolErr().flush();
        return 1;
    }
    const auto result = VersionChecksum::Compute(path, [](int label, uint16_t sum) {
        // By memory area, as the checksum window captions them.
        ToolOut() << QStringLiteral("%1  %2\n")
                         .arg(VersionChecksum::Caption(label), -9)
                         .arg(ValueToVarnel(sum));
    });
    ToolOut().flush();
    if (result.readFailed) {
        ToolErr() << "Cant read " << path << "\n";
        ToolErr().flush();
        return 1;
    }
    return 0;
}
