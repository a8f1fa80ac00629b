#pragma once
// Kit repair directives: the forms of the tabs "Ремонт ШК", "Ремонт ИК" and
// "Ремонт ВК" as data (number field, relay check boxes with their weights,
// relay selector) and the directive each composes.
#include <QString>
#include <QStringList>

#include <vector>

namespace repair {

enum class Kit { SK, IK, VK };

struct Relay {
    QString caption;
    int weight;
};

struct Form {
    Kit kit;
    QString tab;        // "Ремонт ШК"
    QString suffix;     // of the control names: "SK" (MaskEditSK, RadioGroupSK, ...)
    QString code;       // "20": the directive is "ТО_20,..."
    QString numberHint; // "Введите номер ШК"
    QString buttonHint; // "ТО_20,Nшк,RRSS,У-"
    std::vector<Relay> relays;
    QString selectorTitle;     // "Реле" (empty: no relay selector)
    QStringList selectorItems; // "РД", "ЭК", "РД и ЭК"
    int selectorBase = 0;      // the directive carries index + base
};

// The three forms, in tab order.
const std::vector<Form>& Forms();
const Form& FormOf(Kit kit);
// The items of every "Цикл" group ("Однократно", "В цикле", "В цикле с выключением").
QStringList CycleItems();
constexpr int kNumberLength = 3;

// A form as filled in: the kit number as the field reads it, the weights of the
// ticked "Выключение реле" and "Включение реле" boxes summed, the selected
// relay and cycle indexes.
struct Choice {
    QString number;
    int off = 0;
    int on = 0;
    int relay = 0;
    int cycle = 0;
};

// "ТО_" code "," number "," OFF ON ["," relay] "," cycle "-", where OFF and
// ON are two upper-case hexadecimal digits each.
QString Compose(const Form& form, const Choice& choice);

} // namespace repair
