#include "reply_text.h"

namespace framla::app {

QString shownReplyText(const QString &text)
{
    const QString all = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QString shown;
    bool cut = false;
    qsizetype lines = 0;
    // Line by line, so that a long text is read no further than it is shown.
    for (qsizetype at = 0; at < all.size(); ++lines) {
        if (lines == kShownLines) {
            cut = true;
            break;
        }
        const qsizetype lineFeed = all.indexOf(QLatin1Char('\n'), at);
        const qsizetype end = lineFeed < 0 ? all.size() : lineFeed;
        QStringView line = QStringView(all).sliced(at, end - at);
        if (line.size() > kShownLineChars) {
            // Never half of a character written as two code units.
            line.truncate(line.at(kShownLineChars - 1).isHighSurrogate() ? kShownLineChars - 1
                                                                         : kShownLineChars);
            shown += line;
            shown += QChar(0x2026);
            cut = true;
        } else {
            shown += line;
        }
        if (lineFeed >= 0)
            shown += QLatin1Char('\n');
        at = end + 1;
    }
    if (!cut)
        return all;
    if (!shown.endsWith(QLatin1Char('\n')))
        shown += QLatin1Char('\n');
    return shown + QLatin1String(kTextCutNote);
}

} // namespace framla::app
