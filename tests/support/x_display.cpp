#include "support/x_display.h"

#include <QDeadlineTimer>

#include <csignal>
#include <sys/prctl.h>

namespace framla::test {

XDisplay::XDisplay()
{
    m_xvfb.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_xvfb.start(QStringLiteral("Xvfb"), QStringLiteral("-displayfd 1 -screen 0 1024x768x24 "
                                                        "-nolisten tcp")
                                             .split(QLatin1Char(' ')));
    QByteArray number; // Xvfb tells its display's number when it is ready
    const QDeadlineTimer deadline(20000);
    while (m_xvfb.waitForStarted(10000) && !number.contains('\n') && !deadline.hasExpired() &&
           m_xvfb.state() == QProcess::Running) {
        m_xvfb.waitForReadyRead(500);
        number += m_xvfb.readAllStandardOutput();
    }
    if (number.contains('\n'))
        m_name = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
}

XDisplay::~XDisplay()
{
    m_xvfb.terminate();
    m_xvfb.waitForFinished(5000);
}

} // namespace framla::test
