// The settings file reader: any bytes as a settings file, through READPARAM
// (from a file) and parseSettings; DECODED on any value.
#include "config/settings_file.h"
#include "fuzz_input.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

using namespace framla;
using fuzz::require;

namespace {

/// A login with every setting null, so that a missing tag takes its default.
const ServerLogin kNulls{QString(), QString(), QString(), QString(), QString()};

QString cfgFile()
{
    static QTemporaryDir dir(QString::fromStdString(fuzz::scratchBase()) +
                             QStringLiteral("/framla-fuzz-XXXXXX"));
    return dir.filePath(QStringLiteral("Framla.cfg"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    // Null values take the defaults where a tag is missing; given ones stay.
    const ServerLogin parsed = config::parseSettings(text, kNulls);
    if (!text.toUpper().contains("[PORT]"))
        require(parsed.cPort == QStringLiteral("22"), "a missing port is 22");
    // A plain value is one line: it ends at its line's end. (The port and the
    // password may be scrambled, and unscrambled bytes may be anything.)
    const bool crLf = text.contains("\r\n");
    for (const QString &value : {parsed.cAddress, parsed.cPath, parsed.cUser})
        require(!value.contains(crLf ? QStringLiteral("\r\n") : QStringLiteral("\n")),
                "a value is one line");

    // The file reader reads what the text parser reads.
    QFile file(cfgFile());
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                file.write(text) == text.size(),
            "the test file is written");
    file.close();
    ServerLogin read = kNulls;
    require(config::READPARAM(read, cfgFile()) == text, "READPARAM returns the file's text");
    require(read == parsed, "READPARAM reads what parseSettings reads");

    // What can be stored reads back unchanged from the file the program writes.
    if (config::unstorableSettings(parsed).isEmpty()) {
        const ServerLogin again = config::parseSettings(config::settingsFileText(parsed), kNulls);
        require(again == parsed, "storable settings read back unchanged");
    }

    // Scrambling twice gives the value back, less its trailing blanks, unless
    // the scrambled value ends with a blank too (255 - ' ') or is all white
    // space (which scrambles to "").
    const QByteArray scrambled = config::DECODED(text);
    require(scrambled.size() <= text.size(), "DECODED never grows");
    const bool allWhite = std::all_of(scrambled.begin(), scrambled.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    });
    if (!allWhite && !scrambled.endsWith(' ')) {
        QByteArray trimmed = text;
        while (trimmed.endsWith(' '))
            trimmed.chop(1);
        require(config::DECODED(scrambled) == trimmed, "DECODED undoes itself");
    }
    return 0;
}
