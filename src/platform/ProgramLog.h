#pragma once
// The program log: one line per caught internal failure, in
// <dir>/Zezozudaruduri.log. Failures of the log itself are silent.
#include <QString>

void SetLogDir(const QString& dir);
QString LogFilePath();
void WriteLog(const QString& message);
