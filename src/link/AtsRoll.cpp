// The roll of an exchange: directive echoes and printouts appended to its
// roll file and shown in the roll view when the exchange is selected.
#include "link/Ats.h"

#include "link/Notation.h"
#include "link/RollView.h"
#include "platform/Codec.h"

#include <QDir>
#include <QFileInfo>

bool TAts::OpenRoll() {
    if (RollFile.isOpen()) RollFile.close();
    RollFile.setFileName(RollFileName);
    // Opening for reading and writing creates a missing file. An existing
    // roll is never truncated: when it cannot be opened, the folder is made
    // and the open tried once more.
    if (!RollFile.open(QIODevice::ReadWrite)) {
        QDir().mkpath(QFileInfo(RollFileName).absolutePath());
        if (!RollFile.open(QIODevice::ReadWrite)) return false;
    }
    return RollFile.seek(RollFile.size());
}

bool TAts::WriteRoll(const QString& text) {
    if (!RollFile.isOpen() && (RollFileName.isEmpty() || !OpenRoll())) return false;
    const QByteArray bytes = Codec::ToCp1251(text);
    if (!RollFile.seek(RollFile.size())) return false;
    if (RollFile.write(bytes) != bytes.size()) return false;
    return RollFile.flush();
}

void TAts::WriteEcho(const QString& directive) {
    QString text = directive;
    if (!Code.LineStamped)
        text = QStringLiteral("\r\n") + GetDateTime() + QStringLiteral("  ") + directive;
    Code.LineStamped = false;
    // The echo is staged in RollBuf as far as it fits; the file gets the whole
    // text, so a long echo is neither cut nor written past the buffer.
    const QByteArray bytes = Codec::ToCp1251(text);
    if (!RollBuf.empty())
        std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), qsizetype(RollBuf.size())),
                    RollBuf.begin());
    if (!WriteRoll(text)) App.AddStatus(QStringLiteral("Ошибка записи в рулон"));
    if (App.View && App.CurrentAts == this) App.View->InsertAtEnd(text);
}
