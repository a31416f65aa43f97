#pragma once

// Takes a fuzzer's bytes apart into the values a target passes on: flags,
// lines and the rest. Every value is taken from the front; what is missing
// comes back empty or false.

#include <QByteArray>
#include <QString>

#include <sanitizer/common_interface_defs.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace framla::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))
    {}

    /// One byte's lowest bit.
    bool flag()
    {
        if (m_at >= m_bytes.size())
            return false;
        return (m_bytes.at(m_at++) & 1) != 0;
    }

    /// The bytes up to the next separator (not included), or to the end.
    QByteArray piece(char separator = '\n')
    {
        if (m_at >= m_bytes.size())
            return {};
        qsizetype end = m_bytes.indexOf(separator, m_at);
        if (end < 0)
            end = m_bytes.size();
        const QByteArray piece = m_bytes.mid(m_at, end - m_at);
        m_at = end + 1;
        return piece;
    }

    QString text(char separator = '\n') { return QString::fromUtf8(piece(separator)); }

    /// Whatever is left.
    QByteArray rest()
    {
        const QByteArray rest = m_at < m_bytes.size() ? m_bytes.mid(m_at) : QByteArray();
        m_at = m_bytes.size();
        return rest;
    }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
};

/// Where scratch files go: a memory file system when there is one, since
/// framaid syncs its reply to disk and a disk sync per input would make the
/// run crawl.
inline std::string scratchBase()
{
    return ::access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp");
}

/// Stops the run with a message when an invariant does not hold; libFuzzer
/// keeps the input that did it. The message goes where the sanitizers
/// report, which stays open when the run closes standard error.
inline void require(bool holds, const char *what)
{
    if (!holds) {
        const std::string message = std::string("invariant broken: ") + what;
        __sanitizer_report_error_summary(message.c_str());
        std::fprintf(stderr, "%s\n", message.c_str());
        std::abort();
    }
}

} // namespace framla::fuzz
