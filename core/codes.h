#pragma once

// The rules of codes, names and the operator's choices that every layer
// shares: the three modes, the account numbers, a code as the code field
// keeps it, the image-name rule, and the local option slots that hold the
// mode, the crop proportion and the size.

#include <QList>
#include <QString>

#include <array>
#include <variant>

namespace framla {

/// One slot of the local options: logical, text or number with fraction.
using LocalValue = std::variant<bool, QString, double>;
using LocalCfg = QList<LocalValue>;

/// The local option slots, by their index in aLocalCfg.
enum class Option : qsizetype {
    Inventory = 0,   ///< logical: Inventory mode is on
    Normalize = 1,   ///< logical: kept for the file's sake; no preparation reads it
    Unused = 2,      ///< logical: kept for the file's sake
    Size = 3,        ///< text: "S", "M" or "L"
    CropRatio = 4,   ///< number: 0 free, 0.75 for 4:3, 1 for square
    UseFilename = 5, ///< logical: the image name defaults to the source file's
    Device = 6,      ///< number: webcam device
    Delay = 7,       ///< number: capture delay in seconds
    Preview = 8,     ///< logical: show the capture preview video
    Orders = 9,      ///< logical: Repairs mode is on
};

/// The slot of an option, for indexing aLocalCfg.
constexpr qsizetype slot(Option option)
{
    return static_cast<qsizetype>(option);
}

/// An option's value when it has the type the option is kept in; otherwise
/// (a short or damaged array) the fallback.
template<typename T> T optionValue(const LocalCfg &cfg, Option option, T fallback)
{
    if (slot(option) >= cfg.size())
        return fallback;
    const T *value = std::get_if<T>(&cfg.at(slot(option)));
    return value != nullptr ? *value : fallback;
}

/// Sets one option slot; a short array (a damaged options file) gains the
/// defaults up to the slot first, so that the choice is kept.
void setOption(LocalCfg &cfg, Option option, const LocalValue &value);

/// The ten local option slots with their defaults, in slot order.
LocalCfg defaultLocalCfg();

} // namespace framla

namespace framla::core {

/// The three kinds of record a picture is filed under: an inventory item
/// (or raw material), a supplier's or customer's account, a service order.
enum class Mode { Inventory, CustSup, Repairs };

/// The mode the two flags of the state stand for; lInventory wins.
Mode modeOf(bool lInventory, bool lOrders);

/// Supplier accounts run from 1001 to 9999.
bool isSupplierAccount(double value);
/// Customer accounts run from 10001 to 99999.
bool isCustomerAccount(double value);
/// A supplier's or a customer's account.
bool isAccount(double value);

/// Upper case with every blank removed, as the code field keeps codes.
QString codeOf(const QString &typed);

/// A code as it enters the program (typed, or given on the command line):
/// codeOf, then NORMALIZE in the mode. "" when the mode refuses it. What
/// comes out is carried on as it is; nothing further down normalises again.
QString enteredCode(const QString &typed, Mode mode);

/// The longest target name the server keeps.
inline constexpr qsizetype kNameLength = 16;

/// The image-name rule: every blank removed, at most kNameLength
/// characters, and in upper case when asked (Inventory mode, where the name
/// is a code).
QString imageName(const QString &text, bool upper = false);

/// The crop proportion (height / width) of each crop radio, in their order:
/// free, 4:3, square.
inline constexpr std::array<double, 3> kCropRatios{0.0, 0.75, 1.0};

/// The size letter of each size radio, in their order: 160, 320 and 640 pixels.
inline constexpr std::array<const char *, 3> kSizeLetters{"S", "M", "L"};

} // namespace framla::core
