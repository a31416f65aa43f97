#include "history_util.h"

#include "runtime/logging.h"

namespace framla::history {

QString timeText(const QDateTime &when)
{
    return when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz'Z'"));
}

bool Failure::operator()(QString *why, const QString &reason) const
{
    if (m_part != nullptr)
        qCWarning(runtime::lcFramla).noquote().nospace() << m_part << ": " << reason;
    if (why != nullptr)
        *why = reason;
    return false;
}

} // namespace framla::history
