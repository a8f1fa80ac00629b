#include "stats/StatIKAts.h"

const TrunkKind& IkKind() {
    static const TrunkKind kind = [] {
        TrunkKind k;
        k.Name = QStringLiteral("ИК");
        k.HintName = QStringLiteral("ИK "); // Cyrillic И, Latin K
        k.Directions = 256;
        k.Attributes = false;
        k.KitTable = QStringLiteral("TableIK");
        k.DirectionTable = QStringLiteral("TableNaprIK");
        k.KitField = QStringLiteral("IK");
        k.MembersSize = 255;
        k.Types = {QStringLiteral("ИКБ 3"),    QStringLiteral("ИКШ 2"),   QStringLiteral("ИКСВ"),
                   QStringLiteral("ИК ВСК"),   QStringLiteral("ИКБ 2"),   QStringLiteral("ИК ЗБК"),
                   QStringLiteral("ДК 4"),     QStringLiteral("ИК ИКМ"),  QStringLiteral("ДК БКЭс"),
                   QStringLiteral("ДК БКЭб"),  QStringLiteral("КДКЭ"),    QStringLiteral("ДКИ"),
                   QStringLiteral("ДКУ"),      QStringLiteral("ДКИ(ИК)"), QStringLiteral("ИКС"),
                   QStringLiteral("Псевдо ИК")};
        //           code  address slot codes  bit   progress store
        k.Refresh = {
            {100, 0x5B28, -1, 4, false, 10, 6}, {101, 0x4035, -1, 4, false, 20, 7},
            {102, 0x5B33, -1, 4, false, 30, 8}, {104, 0x4087, -1, 4, false, 50, 10},
            {1, -1, 6, 48, true, 70},           {2, -1, 7, 192, false, 80},
            {3, -1, 8, 384, false, 90},         {5, -1, 10, 768, false, 100, -1, false, true}};
        k.Stored = {};
        k.Live = {6, 0x2230, -1, 48, true, -1, -1, true};
        return k;
    }();
    return kind;
}
