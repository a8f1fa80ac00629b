#include "state/KitRepair.h"

namespace repair {

const std::vector<Form>& Forms() {
    static const std::vector<Form> forms{
        {Kit::SK,
         QStringLiteral("Ремонт ШК"),
         QStringLiteral("SK"),
         QStringLiteral("20"),
         QStringLiteral("Введите номер ШК"),
         QStringLiteral("ТО_20,Nшк,RRSS,У-"),
         {{QStringLiteral("РКШ"), 64},
          {QStringLiteral("РД"), 32},
          {QStringLiteral("РВ"), 16},
          {QStringLiteral("РР2"), 8},
          {QStringLiteral("РС2"), 4},
          {QStringLiteral("РР1"), 2},
          {QStringLiteral("РС1"), 1}},
         QString(),
         {},
         0},
        {Kit::IK,
         QStringLiteral("Ремонт ИК"),
         QStringLiteral("IK"),
         QStringLiteral("2A"),
         QStringLiteral("Введите номер ИК"),
         QStringLiteral("ТО_2A,Nик,RRSS,УК,У-"),
         {{QStringLiteral("РКШ"), 64},
          {QStringLiteral("РМ"), 16},
          {QStringLiteral("РР"), 8},
          {QStringLiteral("РО"), 4},
          {QStringLiteral("РЗ"), 1}},
         QStringLiteral("Реле"),
         {QStringLiteral("РД"), QStringLiteral("ЭК"), QStringLiteral("РД и ЭК")},
         1},
        {Kit::VK,
         QStringLiteral("Ремонт ВК"),
         QStringLiteral("VK"),
         QStringLiteral("2C"),
         QStringLiteral("Введите номер ВК"),
         QStringLiteral("ТО_2C,NВк,RRSS,УК,У-"),
         {{QStringLiteral("РВА"), 32},
          {QStringLiteral("РБЛ"), 16},
          {QStringLiteral("РР"), 8},
          {QStringLiteral("РСЗ"), 4},
          {QStringLiteral("РН"), 2},
          {QStringLiteral("РЗ"), 1}},
         QStringLiteral("Реле Рот"),
         {QStringLiteral("Выкл."), QStringLiteral("Вкл.")},
         0},
    };
    return forms;
}

const Form& FormOf(Kit kit) {
    for (const Form& f : Forms())
        if (f.kit == kit) return f;
    return Forms().front();
}

QStringList CycleItems() {
    return {QStringLiteral("Однократно"), QStringLiteral("В цикле"),
            QStringLiteral("В цикле с выключением")};
}

namespace {
QString Hex2(int v) {
    return QString::number(v & 0xFF, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}
} // namespace

QString Compose(const Form& form, const Choice& c) {
    QString text = QStringLiteral("ТО_") + form.code + QLatin1Char(',') + c.number +
                   QLatin1Char(',') + Hex2(c.off) + Hex2(c.on);
    if (!form.selectorItems.isEmpty())
        text += QLatin1Char(',') + QString::number(c.relay + form.selectorBase);
    return text + QLatin1Char(',') + QString::number(c.cycle) + QLatin1Char('-');
}

} // namespace repair
