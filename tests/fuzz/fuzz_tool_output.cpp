// PuTTY's output as the runner reads it: the first line names the server the
// command connects to ("127.0.0.1 (port 2222)") and is also more output put
// around the rest, which is what plink or pscp printed.
#include "fuzz_input.h"
#include "runtime/shared_link.h"
#include "runtime/shell.h"

using namespace framla::runtime;
using framla::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    framla::fuzz::FuzzInput input(data, size);
    const QByteArray more = input.piece(), said = input.rest();
    const QString server = QString::fromUtf8(more);
    const HostKeyQuestion q = parseHostKeyQuestion(said, server);
    const HostKeyQuestion crlf =
        parseHostKeyQuestion(QByteArray(said).replace('\n', "\r\n"), server);
    require(!q.isValid() || q.host.compare(server, Qt::CaseInsensitive) == 0,
            "a question names the given server");
    require(q.fingerprint == crlf.fingerprint && q.changed == crlf.changed,
            "CR LF lines ask the same question");
    require(!parseHostKeyQuestion("Welcome\n" + said, server).isValid(),
            "no question after other output");
    require(describePuttyFailure(said).isEmpty() ||
                !describePuttyFailure(more + said + more).isEmpty(),
            "a known failure is found in more output");
    require(!connectionLost(said) || connectionLost(more + said + more),
            "a lost connection is found in more output");
    require(readUpstreamLog(said) == UpstreamLog::Starting ||
                readUpstreamLog(said + more) != UpstreamLog::Starting,
            "a log that grows never reads as nothing decisive again");
    return 0;
}
