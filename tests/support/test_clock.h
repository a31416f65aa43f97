#pragma once

#include "runtime/clock.h"

#include <QList>

namespace framla::test {

/// A clock that never sleeps: pauses are recorded and move the time on.
class TestClock final : public runtime::Clock {
public:
    QTime time{10, 30, 0};
    QDate date{2026, 12, 7};
    QList<int> pauses; ///< every pause asked for, in hundredths

    QTime now() const override { return time; }
    QDate today() const override { return date; }
    void sleep(int hundredths) override
    {
        pauses.append(hundredths);
        time = time.addMSecs(hundredths * 10);
    }
};

} // namespace framla::test
