#include "codes.h"

#include "core/normalize.h"

namespace framla {

void setOption(LocalCfg &cfg, Option option, const LocalValue &value)
{
    const LocalCfg defaults = defaultLocalCfg();
    while (cfg.size() <= slot(option))
        cfg.append(defaults.at(cfg.size()));
    cfg[slot(option)] = value;
}

LocalCfg defaultLocalCfg()
{
    return {LocalValue{true}, LocalValue{false}, LocalValue{false}, LocalValue{QString("M")},
            LocalValue{0.0},  LocalValue{true},  LocalValue{1.0},   LocalValue{4.0},
            LocalValue{true}, LocalValue{false}};
}

} // namespace framla

namespace framla::core {

Mode modeOf(bool lInventory, bool lOrders)
{
    if (lInventory)
        return Mode::Inventory;
    return lOrders ? Mode::Repairs : Mode::CustSup;
}

bool isSupplierAccount(double value)
{
    return value > 1000 && value < 10000;
}

bool isCustomerAccount(double value)
{
    return value > 10000 && value < 100000;
}

bool isAccount(double value)
{
    return isSupplierAccount(value) || isCustomerAccount(value);
}

QString codeOf(const QString &typed)
{
    QString code = typed.toUpper();
    code.remove(QLatin1Char(' '));
    return code;
}

QString enteredCode(const QString &typed, Mode mode)
{
    return NORMALIZE(codeOf(typed), mode == Mode::Inventory, mode == Mode::Repairs);
}

QString imageName(const QString &text, bool upper)
{
    QString name = text;
    name.remove(QLatin1Char(' '));
    name.truncate(kNameLength);
    return upper ? name.toUpper() : name;
}

} // namespace framla::core
