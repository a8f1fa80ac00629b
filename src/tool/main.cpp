// varnel-tool: maintenance work without the window, on the terminal's core code.
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {
int Usage() {
    std::fputs("usage: varnel-tool COMMAND [ARGS]\n"
               "  encode TEXT\n"
               "  decode [FILE] [--frames]\n"
               "  registry list KEY | get KEY NAME | set KEY NAME VALUE [--int|--bool|--string]\n"
               "  dump TABLE\n"
               "  load TABLE FILE.csv\n",
               stderr);
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return Usage();
    const QString cmd = args.takeFirst();
    (void)cmd;
    return Usage();
}
