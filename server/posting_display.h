#pragma once

#include "target_display.h"

namespace framla::server {

/// A display for a worker thread: every change is posted to the UI thread
/// and carried out there, in the order the worker made it.
class PostingDisplay final : public TargetDisplay {
public:
    /// display must outlive every change posted to it.
    explicit PostingDisplay(TargetDisplay &display)
        : m_display(display)
    {}

    void showReply(const QString &text) override;
    void setShowExistingVisible(bool visible) override;
    void showTargetName(const QString &name) override;
    void hangTarget(const QString &file, const QString &mode) override;
    void showCaption(const QString &text) override;
    void setBusy(bool busy) override;

private:
    template<typename Fn> void post(Fn fn);
    TargetDisplay &m_display;
};

} // namespace framla::server
