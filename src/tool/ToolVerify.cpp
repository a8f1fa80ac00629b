#include "ToolVerify.h"

#include "ToolLine.h"
#include "tables/Aliases.h"
#include "tables/TableUtil.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString TableFile(const QString& name, QString* error) {
    QString path = tables::ResolveTablePath(name, QDir::currentPath(), error, false);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path))
        path += QStringLiteral(".db");
    if (!path.isEmpty() && !RegularFileOrSay(path)) {
        error->clear();
        return {};
    }
    return path;
}

void PrintFindings(const tables::TTableUtil& util) {
    for (const QString& f : util.Findings())
        ToolOut() << "  " << f << '\n';
}

} // namespace

int ToolVerify(const QStringList& args) {
    if (args.size() != 1) {
        ToolErr() << "usage: varnel-tool verify TABLE\n";
        return 2;
    }
    QString e;
    const QString path = TableFile(args[0], &e);
    if (path.isEmpty()) {
        if (!e.isEmpty()) ToolErr() << e << '\n';
        return 1;
    }
    tables::TTableUtil util;
    const tables::UtilRun r = tables::RunVerify(util, path);
    if (r.outcome != tables::UtilRun::Done) {
        ToolErr() << r.error << '\n';
        return 1;
    }
    ToolOut() << r.result << ' ' << r.message << '\n';
    PrintFindings(util);
    ToolOut().flush();
    return r.result == 0 ? 0 : 3;
}

int ToolRebuild(const QStringList& args) {
    QStringList rest = args;
    QString like;
    const int at = rest.indexOf(QStringLiteral("--like"));
    if (at >= 0 && at + 1 < rest.size()) {
        like = rest[at + 1];
        rest.remove(at, 2);
    }
    if (rest.size() != 1 || (at >= 0 && like.isEmpty())) {
        ToolErr() << "usage: varnel-tool rebuild TABLE [--like MODEL.db]\n";
        return 2;
    }
    QString e;
    const QString path = TableFile(rest[0], &e);
    if (path.isEmpty()) {
        if (!e.isEmpty()) ToolErr() << e << '\n';
        return 1;
    }
    tables::TTableUtil util;
    tables::TableDesc model;
    if (!like.isEmpty()) {
        const QString modelPath = TableFile(like, &e);
        if (modelPath.isEmpty() || !util.FillTblDesc(modelPath, model)) {
            if (!modelPath.isEmpty() || !e.isEmpty())
                ToolErr() << (modelPath.isEmpty() ? e : util.LastError()) << '\n';
            return 1;
        }
    }
    const tables::UtilRun r =
        like.isEmpty() ? tables::RunRebuild(util, path, nullptr)
                       : tables::RunRebuild(util, path, &model, tables::StructureUse::Always);
    if (r.outcome != tables::UtilRun::Done) {
        if (!r.message.isEmpty()) ToolOut() << r.message << '\n';
        ToolOut().flush();
        ToolErr() << r.error << '\n';
        if (!util.LastError().isEmpty() && util.LastError() != r.error)
            ToolErr() << util.LastError() << '\n';
        return 1;
    }
    const auto st = util.LastRebuild();
    ToolOut() << r.message << '\n';
    PrintFindings(util);
    ToolOut() << st.kept << " rows kept, " << st.keyViolations << " to "
              << tables::TTableUtil::kKeyViol << ", " << st.problems << " to "
              << tables::TTableUtil::kProblem << ", " << st.lost << " cut off; the old table is "
              << tables::TTableUtil::kBackup << '\n';
    ToolOut().flush();
    return 0;
}
