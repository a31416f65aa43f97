#pragma once

#include "core/service.h"

#include <QDate>
#include <QString>
#include <QTime>

namespace framla::runtime {

/// Time of day and pauses. Pauses are counted in hundredths of a second.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QTime now() const = 0;
    virtual QDate today() const = 0;
    /// Pause; on the UI thread the window keeps repainting meanwhile.
    virtual void sleep(int hundredths) = 0;

    /// The time of day as eight characters, "hh:mm:ss".
    QString timeOfDay() const { return now().toString(QStringLiteral("HH:mm:ss")); }
};

/// The real clock.
class SystemClock final : public Clock {
public:
    QTime now() const override;
    QDate today() const override;
    void sleep(int hundredths) override;
};

} // namespace framla::runtime

namespace framla {
/// runtime::Clock fills the program state's ClockService slot.
template<> struct ServiceType<ClockService> {
    using type = runtime::Clock;
};
} // namespace framla
