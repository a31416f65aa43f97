#pragma once

#include <QString>

namespace framla::server {

/// What the server routines show on the image tab: the reply display, the
/// "Show Existing" button, the target name field and the target view. The
/// window implements it with its widgets; tests record what is shown.
class TargetDisplay {
public:
    virtual ~TargetDisplay() = default;
    /// Put a text in the reply display (oXbpShowTxt).
    virtual void showReply(const QString &text) = 0;
    /// Show or hide the "Show Existing" button.
    virtual void setShowExistingVisible(bool visible) = 0;
    /// Write a name into the target name field (enabled, filled, disabled again).
    virtual void showTargetName(const QString &name) = 0;
    /// Hang a picture in the target view with the given mode letters.
    virtual void hangTarget(const QString &file, const QString &mode) = 0;
    /// Set the caption above the target view (oXbpTargGrp).
    virtual void showCaption(const QString &text) = 0;
    /// The wait pointer over the whole window (true) or the normal one (false).
    virtual void setBusy(bool busy) = 0;
};

/// A display that shows nothing, for work done away from the image tab:
/// background puts, restores from the history, a batch's channels. It keeps
/// the last text the server routines showed.
class QuietDisplay final : public TargetDisplay {
public:
    void showReply(const QString &text) override { m_lastReply = text; }
    void setShowExistingVisible(bool) override {}
    void showTargetName(const QString &) override {}
    void hangTarget(const QString &, const QString &) override {}
    void showCaption(const QString &) override {}
    void setBusy(bool) override {}
    QString lastReply() const { return m_lastReply; }

private:
    QString m_lastReply;
};

} // namespace framla::server
