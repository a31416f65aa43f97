#include "local_options.h"

#include <QByteArrayList>
#include <QDebug>
#include <QDir>
#include <QLocale>

#include "runtime/dialogs.h"
#include "runtime/files.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <initializer_list>

namespace framla::config {

namespace {

const QByteArray kHeader = "Framla local options 1";
const QByteArray kName = "aLocalCfg ";

QByteArray encodeText(const QString &text)
{
    QByteArray out = "\"";
    for (QChar c : text) {
        const char16_t code = c.unicode();
        if (code == '"' || code == '\\') {
            out += '\\';
            out += char(code);
        } else if (code >= 0x20 && code < 0x7F) {
            out += char(code);
        } else {
            out += "\\u" + QByteArray::number(code, 16).rightJustified(4, '0');
        }
    }
    return out + '"';
}

std::optional<QString> decodeText(const QByteArray &quoted)
{
    if (quoted.size() < 2 || !quoted.startsWith('"') || !quoted.endsWith('"'))
        return std::nullopt;
    const QByteArray body = quoted.mid(1, quoted.size() - 2);
    QString text;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body.at(i);
        if (c == '"')
            return std::nullopt;
        if (c != '\\') {
            text += QLatin1Char(c);
            continue;
        }
        if (i + 1 >= body.size())
            return std::nullopt;
        const char next = body.at(++i);
        if (next == '"' || next == '\\') {
            text += QLatin1Char(next);
        } else if (next == 'u' && i + 4 < body.size()) {
            const QByteArray hex = body.mid(i + 1, 4);
            if (!std::all_of(hex.begin(), hex.end(),
                             [](char h) { return std::isxdigit(uchar(h)); }))
                return std::nullopt;
            const uint code = hex.toUInt(nullptr, 16);
            text += QChar(char16_t(code));
            i += 4;
        } else {
            return std::nullopt;
        }
    }
    return text;
}

std::optional<LocalValue> decodeValue(const QByteArray &line)
{
    if (line == "L T")
        return LocalValue{true};
    if (line == "L F")
        return LocalValue{false};
    if (line.startsWith("C ")) {
        if (std::optional<QString> text = decodeText(line.mid(2)))
            return LocalValue{*text};
        return std::nullopt;
    }
    if (line.startsWith("N ")) {
        bool ok = false;
        const double number = line.mid(2).toDouble(&ok);
        if (ok && std::isfinite(number))
            return LocalValue{number};
    }
    return std::nullopt;
}

// A stored number as a whole number of the working variables: truncated and
// kept inside int's range.
int wholeNumber(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(std::trunc(value), double(INT_MIN), double(INT_MAX)));
}

// Copy the slots into the working variables; the array must be usable and complete.
void applyLocalCfg(ProgramState &state)
{
    const LocalCfg &cfg = state.aLocalCfg;
    state.lInventory = std::get<bool>(cfg.at(slot(Option::Inventory)));
    state.lNormalize = std::get<bool>(cfg.at(slot(Option::Normalize)));
    state.cSize = std::get<QString>(cfg.at(slot(Option::Size)));
    state.nCropRat = std::get<double>(cfg.at(slot(Option::CropRatio)));
    state.lUseFilename = std::get<bool>(cfg.at(slot(Option::UseFilename)));
    state.nDevNum = wholeNumber(std::get<double>(cfg.at(slot(Option::Device))));
    state.lPreview = std::get<bool>(cfg.at(slot(Option::Preview)));
    state.lOrders = std::get<bool>(cfg.at(slot(Option::Orders)));
}

} // namespace

QByteArray encodeLocalCfg(const LocalCfg &cfg)
{
    QByteArray out = kHeader + '\n' + kName + QByteArray::number(cfg.size()) + '\n';
    for (const LocalValue &value : cfg) {
        if (const bool *logical = std::get_if<bool>(&value))
            out += *logical ? "L T" : "L F";
        else if (const QString *text = std::get_if<QString>(&value))
            out += "C " + encodeText(*text);
        else
            out +=
                "N " + QLocale::c()
                           .toString(std::get<double>(value), 'g', QLocale::FloatingPointShortest)
                           .toLatin1();
        out += '\n';
    }
    return out;
}

std::optional<LocalCfg> decodeLocalCfg(const QByteArray &data)
{
    QByteArrayList lines = data.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.size() < 2 || lines.at(0) != kHeader || !lines.at(1).startsWith(kName))
        return std::nullopt;
    bool ok = false;
    const int count = lines.at(1).mid(kName.size()).toInt(&ok);
    if (!ok || count < 0 || count != lines.size() - 2)
        return std::nullopt;
    LocalCfg cfg;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        std::optional<LocalValue> value = decodeValue(lines.at(i));
        if (!value)
            return std::nullopt;
        cfg.append(*value);
    }
    return cfg;
}

QString localCfgPath(const ProgramState &state)
{
    return QDir(state.cAppPath).filePath(QStringLiteral("scratch.xpf"));
}

bool SaveConfig(ProgramState &state)
{
    const QString path = localCfgPath(state);
    QString reason;
    if (runtime::writeWholeFile(path, encodeLocalCfg(state.aLocalCfg), &reason))
        return true;
    const QString text =
        QStringLiteral("The local options could not be saved to %1:\r\n%2").arg(path, reason);
    if (state.services.dialogs)
        state.services.dialogs->msgBox(text, QStringLiteral("Options not saved"));
    else
        qWarning().noquote() << text;
    return false;
}

int completeLocalCfg(LocalCfg &cfg, const std::function<void()> &save)
{
    int steps = 0;
    const auto step = [&](qsizetype length, std::initializer_list<LocalValue> added) {
        if (cfg.size() != length)
            return;
        cfg.append(QList<LocalValue>(added));
        ++steps;
        save();
    };
    step(4, {LocalValue{0.0}});
    step(5, {LocalValue{true}});
    step(6, {LocalValue{1.0}, LocalValue{4.0}, LocalValue{true}});
    step(9, {LocalValue{false}});
    return steps;
}

bool isUsableLocalCfg(const LocalCfg &cfg)
{
    const qsizetype length = cfg.size();
    if (length != 4 && length != 5 && length != 6 && length != 9 && length != 10)
        return false;
    const LocalCfg defaults = defaultLocalCfg();
    for (qsizetype i = 0; i < length; ++i) {
        if (cfg.at(i).index() != defaults.at(i).index())
            return false;
    }
    return true;
}

void LoadConfig(ProgramState &state, const ConfigSaver &save)
{
    const QString path = localCfgPath(state);
    if (!runtime::fileExists(path))
        return;
    std::optional<LocalCfg> stored;
    if (std::optional<QByteArray> data = runtime::readWholeFile(path))
        stored = decodeLocalCfg(*data);
    if (stored && isUsableLocalCfg(*stored)) {
        state.aLocalCfg = *stored;
        completeLocalCfg(state.aLocalCfg, [&] { save(state); });
    } else {
        // The defaults are used in memory; the file stays as it is until the
        // operator changes an option, so a file that could not be read this
        // once (locked, half-copied) is not lost.
        qWarning().noquote() << "Local options in" << path << "unusable; the defaults are used";
        state.aLocalCfg = defaultLocalCfg();
    }
    applyLocalCfg(state);
}

} // namespace framla::config
