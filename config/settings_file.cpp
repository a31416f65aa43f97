#include "settings_file.h"

#include <QDebug>

#include "core/program_state.h"
#include "runtime/dialogs.h"
#include "runtime/files.h"
#include "runtime/logging.h"

#include <algorithm>
#include <array>
#include <optional>

namespace framla::config {

namespace {

constexpr int kCount = 5;
constexpr int kPortIndex = 1;
constexpr int kPassIndex = 4;

// In file order; the port and the password are the scrambled ones.
const std::array<const char *, kCount> kTags = {"[ADDRESS]", "[PORT]", "[DATAPATH]", "[USERNAME]",
                                                "[PASSWORD]"};
const std::array<const char *, kCount> kNames = {"Server address", "Port", "Database path",
                                                 "User name", "Password"};

// The login's field of each setting, in file order.
const std::array<QString ServerLogin::*, kCount> kFields = {
    &ServerLogin::cAddress, &ServerLogin::cPort, &ServerLogin::cPath, &ServerLogin::cUser,
    &ServerLogin::cPass};

using Values = std::array<QString, kCount>;

Values valuesOf(const ServerLogin &login)
{
    Values values;
    for (int i = 0; i < kCount; ++i)
        values[i] = login.*kFields[i];
    return values;
}

ServerLogin loginWith(const Values &values)
{
    ServerLogin login;
    for (int i = 0; i < kCount; ++i)
        login.*kFields[i] = values[i];
    return login;
}

bool isScrambled(int index)
{
    return index == kPortIndex || index == kPassIndex;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// ASCII only, so that every byte keeps its position and no 8-bit byte can
// turn into a tag character.
QByteArray asciiUpper(QByteArray text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return text;
}

std::optional<QByteArray> tagValue(const QByteArray &text, const QByteArray &upper,
                                   const QByteArray &tag, bool crLf)
{
    const qsizetype found = upper.indexOf(tag);
    if (found < 0)
        return std::nullopt;
    if (crLf) {
        // The tag line is taken to end with exactly CR LF.
        const qsizetype start = found + tag.size() + 2;
        if (start > text.size())
            return QByteArray();
        const qsizetype end = text.indexOf("\r\n", start);
        return end < 0 ? QByteArray() : text.mid(start, end - start);
    }
    const qsizetype lineEnd = text.indexOf('\n', found + tag.size());
    if (lineEnd < 0)
        return QByteArray();
    const qsizetype end = text.indexOf('\n', lineEnd + 1);
    return text.mid(lineEnd + 1, end < 0 ? -1 : end - lineEnd - 1);
}

bool fitsLatin1(const QString &value)
{
    for (QChar c : value) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

Values readBack(const Values &values)
{
    const Values given{QString(""), QStringLiteral("22"), QString(""), QString(""), QString("")};
    return valuesOf(parseSettings(settingsFileText(loginWith(values)), loginWith(given)));
}

} // namespace

QByteArray DECODED(const QByteArray &s)
{
    if (std::all_of(s.begin(), s.end(), isBlank))
        return {};
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == ' ')
        --n;
    QByteArray result(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        result[i] = char(255 - quint8(s.at(n - 1 - i)));
    return result;
}

ServerLogin parseSettings(const QByteArray &text, ServerLogin login)
{
    const QByteArray upper = asciiUpper(text);
    const bool crLf = text.contains("\r\n");
    for (int i = 0; i < kCount; ++i) {
        QString &target = login.*kFields[i];
        std::optional<QByteArray> value = tagValue(text, upper, kTags[i], crLf);
        if (!value) {
            if (target.isNull())
                target = i == kPortIndex ? QStringLiteral("22") : QString("");
            continue;
        }
        // A first byte of 128 or less is plain text, as in a file edited by hand.
        if (isScrambled(i) && !value->isEmpty() && quint8(value->at(0)) > 128)
            *value = DECODED(*value);
        target = QString::fromLatin1(*value);
    }
    login.lIsDOS = core::isWindowsPath(login.cPath);
    return login;
}

QByteArray READPARAM(ServerLogin &login, const QString &cCfgFileNm)
{
    QByteArray text;
    if (runtime::fileExists(cCfgFileNm)) {
        if (std::optional<QByteArray> content = runtime::readWholeFile(cCfgFileNm))
            text = *content;
        else
            qWarning() << "Settings file exists but cannot be read:" << cCfgFileNm;
    }
    login = parseSettings(text, login);
    return text;
}

QByteArray settingsFileText(const ServerLogin &login)
{
    const QByteArrayList lines = {
        "Configuration file for 'Framla'.",
        "Framla is an image filing clerk for",
        "The Jewellery Tillsmith (Plus).",
        "",
        "[Address]",
        login.cAddress.toLatin1(),
        "",
        "[Port]",
        DECODED(login.cPort.toLatin1()),
        "",
        "[Datapath]",
        login.cPath.toLatin1(),
        "",
        "[Username]",
        login.cUser.toLatin1(),
        "",
        "[Password]",
        DECODED(login.cPass.toLatin1()),
        "",
        "(end of parameter file)",
    };
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + "\r\n";
    return text;
}

QStringList unstorableSettings(const ServerLogin &login)
{
    const Values values = valuesOf(login);
    std::array<bool, kCount> bad{};
    for (int i = 0; i < kCount; ++i) {
        const QString &value = values[i];
        if (!fitsLatin1(value)) {
            bad[i] = true;
        } else if (!isScrambled(i) && (value.contains('\r') || value.contains('\n'))) {
            bad[i] = true;
        } else {
            // Alone among harmless values, so that a value that spoils another
            // setting's tag is the one named.
            Values probe = {"x", "x", "x", "x", "x"};
            probe[i] = value;
            bad[i] = readBack(probe) != probe;
        }
    }
    if (std::find(bad.begin(), bad.end(), true) == bad.end()) {
        const Values read = readBack(values);
        for (int i = 0; i < kCount; ++i)
            bad[i] = read[i] != values[i];
    }
    QStringList names;
    for (int i = 0; i < kCount; ++i) {
        if (bad[i])
            names.append(QString::fromLatin1(kNames[i]));
    }
    return names;
}

bool SaveParam(ProgramState &state, const ServerLogin &login, const QString &cCfgFileNm)
{
    const auto tell = [&state](const QString &text) {
        if (state.services.dialogs)
            state.services.dialogs->msgBox(text, QStringLiteral("Settings not saved"));
        else
            qWarning().noquote() << text;
    };

    const QStringList unstorable = unstorableSettings(login);
    if (!unstorable.isEmpty()) {
        tell(QStringLiteral("The settings file cannot store these settings without changing "
                            "them: %1.\r\nA value must not end in blanks, consist only of "
                            "blanks, or contain line breaks or unusual characters.\r\n"
                            "Nothing was saved.")
                 .arg(unstorable.join(QStringLiteral(", "))));
        return false;
    }
    // The password's scrambling is no protection: the file is for its owner alone.
    const bool widelyReadable = runtime::othersCanAccess(cCfgFileNm);
    QString reason;
    if (!runtime::writePrivateFile(cCfgFileNm, settingsFileText(login), &reason)) {
        tell(
            QStringLiteral("The settings could not be saved to %1:\r\n%2").arg(cCfgFileNm, reason));
        return false;
    }
    if (widelyReadable)
        qCInfo(runtime::lcFramla).noquote()
            << "the settings file" << cCfgFileNm
            << "could be read by other accounts; it is now readable by its owner only";
    return true;
}

} // namespace framla::config
