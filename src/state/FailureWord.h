#pragma once
// Failure word analysis: the failure word of a control machine (РСП), typed
// in by the operator, turned into lines that name the machines' mode and
// what went wrong. The tests and their lines are a table (FailureWord.cpp).
#include <QString>
#include <QStringList>

#include <cstdint>

namespace failure {

// The lines for failure word `word`; `machine` is the machine number as
// typed ("№ ЭУМ"), appended to "Неисправна ЭУМ ". 0 and 0xFFFF are power
// failures; otherwise bit 15 tells the synchronous mode from the autonomous
// one and each test of that mode adds its line.
QStringList Analyse(uint32_t word, const QString& machine);
// The word typed as four hexadecimal characters (other characters read as 0).
QStringList Analyse(const QString& word, const QString& machine);

} // namespace failure
