#pragma once

#include <QProcess>
#include <QString>

namespace framla::test {

/// An X server of the test's own (Xvfb, one 1024x768 screen, no TCP), ended
/// with this object or with the test's process.
class XDisplay {
public:
    XDisplay();
    ~XDisplay();
    /// ":<number>" once Xvfb is ready; empty when it did not start.
    QString name() const { return m_name; }

private:
    QProcess m_xvfb;
    QString m_name;
};

} // namespace framla::test
