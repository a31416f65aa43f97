#pragma once

#include "server/target_display.h"

#include <QStringList>

namespace framla::test {

/// A target display that records what the server routines show.
class RecordingDisplay final : public server::TargetDisplay {
public:
    QStringList replies;   ///< every text put in the reply display
    QStringList names;     ///< every name written into the target name field
    QStringList pictures;  ///< "file mode" for every picture hung
    QStringList captions;  ///< every caption set above the target view
    int showExisting = -1; ///< -1 never set, else 0 hidden / 1 shown
    /// Everything in the order it was shown: "text:...", "picture:...",
    /// "caption:...", "name:...", "busy", "done".
    QStringList events;

    void showReply(const QString &text) override
    {
        replies.append(text);
        events.append(QStringLiteral("text:") + text);
    }
    void setShowExistingVisible(bool visible) override { showExisting = visible ? 1 : 0; }
    void showTargetName(const QString &name) override
    {
        names.append(name);
        events.append(QStringLiteral("name:") + name);
    }
    void hangTarget(const QString &file, const QString &mode) override
    {
        pictures.append(file + QLatin1Char(' ') + mode);
        events.append(QStringLiteral("picture:") + file + QLatin1Char(' ') + mode);
    }
    void showCaption(const QString &text) override
    {
        captions.append(text);
        events.append(QStringLiteral("caption:") + text);
    }
    void setBusy(bool busy) override
    {
        events.append(busy ? QStringLiteral("busy") : QStringLiteral("done"));
    }
};

} // namespace framla::test
