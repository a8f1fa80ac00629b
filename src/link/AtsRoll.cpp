// The roll of an exchange: directive echoes and printouts appended to its
// roll file and shown in the roll view when the exchange is selected.
#include "link/Ats.h"

#include "link/Notation.h"
#include "link/RollView.h"
#include "platform/Codec.h"

bool TAts::WriteRoll(const QString& text) {
    if (!RollFile.isOpen()) return false;
    const QByteArray bytes = Codec::ToCp1251(text);
    if (!RollFile.seek(RollFile.size())) return false;
    if (RollFile.write(bytes) != bytes.size()) return false;
    return RollFile.flush();
}

void TAts::WriteEcho(const QString& directive) {
    QString text = directive;
    if (!Code.LineStamped) text = QStringLiteral("\r\n") + GetDateTime() + QStringLiteral("  ") + directive;
    Code.LineStamped = false;
    // RollBuf stages the echo; a text longer than the buffer is written whole
    // all the same (the buffer only bounds what is copied into it).
    const QByteArray bytes = Codec::ToCp1251(text);
    if (!RollBuf.empty())
        std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), qsizetype(RollBuf.size())),
                    RollBuf.begin());
    if (!WriteRoll(text)) App.AddStatus(QStringLiteral("Ошибка записи в рулон"));
    if (App.View && App.CurrentAts == this) App.View->InsertAtEnd(text);
}
