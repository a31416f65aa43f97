#pragma once

#include "server/target_display.h"

namespace framla::test {

/// Shows on the window what the handlers show, and records it.
class TeeDisplay final : public server::TargetDisplay {
public:
    TeeDisplay(server::TargetDisplay &window, server::TargetDisplay &record)
        : m_window(window)
        , m_record(record)
    {}
    void showReply(const QString &t) override { both(&TargetDisplay::showReply, t); }
    void setShowExistingVisible(bool v) override
    {
        both(&TargetDisplay::setShowExistingVisible, v);
    }
    void showTargetName(const QString &n) override { both(&TargetDisplay::showTargetName, n); }
    void hangTarget(const QString &f, const QString &m) override
    {
        m_window.hangTarget(f, m);
        m_record.hangTarget(f, m);
    }
    void showCaption(const QString &t) override { both(&TargetDisplay::showCaption, t); }
    void setBusy(bool b) override { both(&TargetDisplay::setBusy, b); }

private:
    template<typename Fn, typename Arg> void both(Fn fn, const Arg &arg)
    {
        (m_window.*fn)(arg);
        (m_record.*fn)(arg);
    }
    TargetDisplay &m_window;
    TargetDisplay &m_record;
};

} // namespace framla::test
