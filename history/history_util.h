#pragma once

// Small helpers the journal, the outbox and the durable files share.

#include <QDateTime>
#include <QString>

namespace framla::history {

/// Times as the journal and the outbox keep them: UTC, fixed width, so that
/// text order is time order.
QString timeText(const QDateTime &when);

/// Reports a step that failed: puts the reason into *why when the caller asked
/// for it, logs it under the part's name (a part without a name stays silent,
/// its caller logs), and gives false, so that a step can end with
/// `return fail(why, reason)`.
class Failure {
public:
    constexpr explicit Failure(const char *part)
        : m_part(part)
    {}

    bool operator()(QString *why, const QString &reason) const;

private:
    const char *m_part;
};

} // namespace framla::history
