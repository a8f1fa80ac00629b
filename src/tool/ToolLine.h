#pragma once
// varnel-tool commands on the line code and the settings store. Each takes
// the arguments after its command word and returns the exit code: 0 done,
// 1 failed (the reason on standard error), 2 wrong use.
#include <QStringList>
#include <QTextStream>

// encode TEXT...: the codes of the text (words joined by spaces), in decimal,
// space-separated, on one line.
int ToolEncode(const QStringList& args);

// registry list KEY | get KEY NAME [--int|--bool|--string]
//        | set KEY NAME VALUE [--int|--bool|--string]
int ToolRegistry(const QStringList& args);

// checksum FILE.ver: the control sums of a version file, one line each in the
// order they are computed: what the sum covers, the sum in the exchange
// notation, the label of the checksum window that shows it.
int ToolChecksum(const QStringList& args);

// True when path names a regular file (or a link to one); otherwise says on
// standard error that it is refused (a pipe or device would block or never
// end) and returns false. A missing file is left to the command to report.
bool RegularFileOrSay(const QString& path);

// Standard output and error as UTF-8 text, for all the tool's commands.
QTextStream& ToolOut();
QTextStream& ToolErr();
