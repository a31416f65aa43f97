#include "posting_display.h"

#include "runtime/threads.h"

namespace framla::server {

template<typename Fn> void PostingDisplay::post(Fn fn)
{
    TargetDisplay *display = &m_display;
    runtime::onUiThreadLater([display, fn] { fn(*display); });
}

void PostingDisplay::showReply(const QString &text)
{
    post([text](TargetDisplay &d) { d.showReply(text); });
}

void PostingDisplay::setShowExistingVisible(bool visible)
{
    post([visible](TargetDisplay &d) { d.setShowExistingVisible(visible); });
}

void PostingDisplay::showTargetName(const QString &name)
{
    post([name](TargetDisplay &d) { d.showTargetName(name); });
}

void PostingDisplay::hangTarget(const QString &file, const QString &mode)
{
    post([file, mode](TargetDisplay &d) { d.hangTarget(file, mode); });
}

void PostingDisplay::showCaption(const QString &text)
{
    post([text](TargetDisplay &d) { d.showCaption(text); });
}

void PostingDisplay::setBusy(bool busy)
{
    post([busy](TargetDisplay &d) { d.setBusy(busy); });
}

} // namespace framla::server
