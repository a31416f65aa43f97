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
    int showExisting = -1; ///< -1 never set, else 0 hidden / 1 shown

    void showReply(const QString &text) override { replies.append(text); }
    void setShowExistingVisible(bool visible) override { showExisting = visible ? 1 : 0; }
    void showTargetName(const QString &name) override { names.append(name); }
    void hangTarget(const QString &file, const QString &mode) override
    {
        pictures.append(file + QLatin1Char(' ') + mode);
    }
};

} // namespace framla::test
