#pragma once
// The program log: one line per caught internal failure, in
// <dir>/Zezozudaruduri.log. Failures of the log itself are silent. A program
// without a window (the collector) mirrors every line to standard error.
#include <QString>

void SetLogDir(const QString& dir);
QString LogFilePath();
void WriteLog(const QString& message);
void MirrorLogToStderr(bool on);
