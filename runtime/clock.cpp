#include "clock.h"
#include "threads.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace framla::runtime
{

QTime SystemClock::now() const
{
    return QTime::currentTime();
}

QDate SystemClock::today() const
{
    return QDate::currentDate();
}

void SystemClock::sleep(int hundredths)
{
    if (hundredths <= 0)
        return;
    const int ms = hundredths * 10;
    if (!onUiThread()) {
        QThread::msleep(static_cast<unsigned long>(ms));
        return;
    }
    // On the UI thread: let the window repaint, but take no operator input.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace framla::runtime
