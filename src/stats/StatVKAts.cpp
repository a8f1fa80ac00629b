#include "stats/StatVKAts.h"

const TrunkKind& VkKind() {
    static const TrunkKind kind = [] {
        TrunkKind k;
        k.Name = QStringLiteral("ВК");
        k.HintName = QStringLiteral("BK "); // Latin B and K
        k.Directions = 32;
        k.Attributes = true;
        k.KitTable = QStringLiteral("TableVK");
        k.DirectionTable = QStringLiteral("TableNaprVK");
        k.KitField = QStringLiteral("VK");
        k.MembersSize = 192;
        k.Types = {
            QStringLiteral("ВКБ 3"),    QStringLiteral("ВКШ 2"),   QStringLiteral("ВКСВ"),
            QStringLiteral("ВК ВСК"),   QStringLiteral("ВКБ 2"),   QStringLiteral("ВК МБК"),
            QStringLiteral("ДК 4"),     QStringLiteral("ВК ИКМ"),  QStringLiteral("ДК БКЭ с"),
            QStringLiteral("ДК БКЭ б"), QStringLiteral("КДКЭ"),    QStringLiteral("ДКИ"),
            QStringLiteral("ДКУ"),      QStringLiteral("ДКИ(ВК)"), QStringLiteral("ВКМР"),
            QStringLiteral("Псевдо ВК")};
        k.Bundles = {QStringLiteral("Раздельный пучок АШ"), QStringLiteral("Раздельный пучок МШ"),
                     QStringLiteral("Общий пучок"), QStringLiteral("Резерв")};
        //           code  address slot codes  bit   progress store
        k.Refresh = {{100, 0x5B2C, -1, 4, false, 10, 0},
                     {101, 0x4036, -1, 4, false, 20, 1},
                     {102, 0x5779, -1, 4, false, 30, 2},
                     {103, 0x576D, -1, 4, false, 40, 3},
                     {104, 0x4088, -1, 4, false, 50, 4},
                     {105, 0x5B0A, -1, 4, false, 60, 5},
                     {1, -1, 0, 48, true, 70},
                     {2, -1, 1, 192, false, 80},
                     {3, -1, 2, 384, false, 90},
                     {4, -1, 3, 256, false, 100},
                     {5, -1, 4, 768, false, 100, -1, false, true}};
        // The stored path reads only the live table's address, and sends no
        // continuation for it.
        k.Stored = {k.Refresh[5]};
        k.Stored[0].noContinue = true;
        k.Live = {6, -1, 5, 48, true, -1, -1, true};
        return k;
    }();
    return kind;
}

QString VkSignallingText(int typePN) {
    static const QString texts[] = {
        QStringLiteral("Декадно-шлейфный"), QStringLiteral("Декадно-батарейный"),
        QStringLiteral("Импульсный челнок"), QStringLiteral("Импульсный пакет"),
        QStringLiteral("Безинтервальный пакет")};
    return typePN >= 0 && typePN < 5 ? texts[typePN] : QString();
}

QString VkNumberReceptionText(int prIN) {
    return prIN == 0 ? QStringLiteral("ПБ") : QStringLiteral("ВК");
}
