#pragma once
// varnel-tool decode [FILE|-] [--frames]: runs the terminal's receive parser
// over a raw capture of an exchange line (one code per byte, high bits
// ignored; standard input when no file is given). Prints the text the roll
// would get, frames cut out; with --frames, one line per call frame in stream
// order instead: "call-start" or "call-end", then its 28 or 16 nibble values.
#include <QStringList>

int ToolDecode(const QStringList& args);
