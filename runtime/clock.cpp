#include "clock.h"
#include "blocking.h"
#include "threads.h"

#include <QThread>

namespace framla::runtime {

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
    // On the UI thread the window repaints; keys are held for later and
    // pointer input is dropped.
    BlockingWait().wait(ms);
}

} // namespace framla::runtime
