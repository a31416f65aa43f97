#pragma once

// The program's routines run in the benchmarks without a window or an
// operator: nothing is shown and every question is answered OK.

#include "runtime/dialogs.h"
#include "server/target_display.h"

namespace framla::bench {

/// Shows nothing; keeps the last reply text for a check.
class QuietDisplay final : public server::TargetDisplay {
public:
    void showReply(const QString &text) override { last = text; }
    void setShowExistingVisible(bool) override {}
    void showTargetName(const QString &) override {}
    void hangTarget(const QString &, const QString &) override {}
    void showCaption(const QString &) override {}
    void setBusy(bool) override {}
    QString last;
};

class NoDialogs final : public runtime::Dialogs {
public:
    void msgBox(const QString &, const QString &) override {}
    int confirmBox(const QString &, const QString &, runtime::Buttons, runtime::Icon,
                   runtime::DefaultButton) override
    {
        return runtime::kOk;
    }
    QString openFileName(const QString &, const QString &, const QString &,
                         const QString &) override
    {
        return {};
    }
};

} // namespace framla::bench
