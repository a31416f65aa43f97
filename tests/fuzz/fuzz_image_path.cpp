// Code normalisation and the target path: any code and picture name in each
// mode, for Unix and Windows servers.
#include "core/normalize.h"
#include "fuzz_input.h"
#include "server/command_lines.h"
#include "server/image_path.h"

#include <QRegularExpression>

using namespace framla;
using fuzz::require;

namespace {

QString trimmedRight(QString s)
{
    while (s.endsWith(u' '))
        s.chop(1);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::FuzzInput input(data, size);
    const bool lInventory = input.flag();
    const bool lOrders = input.flag();
    const bool lIsDOS = input.flag();
    const QString code = input.text();
    const QString name = input.text();

    // Canonical forms: an order is "or" and six digits, an account is the
    // code as typed; a canonical code is its own canonical form.
    const QString normal = core::NORMALIZE(code, lInventory, lOrders);
    if (!lInventory && lOrders) {
        static const QRegularExpression order(QStringLiteral("\\Aor[0-9]{6}\\z"));
        require(normal.isEmpty() || order.match(normal).hasMatch(),
                "an order is or and six digits");
    }
    if (!lInventory && !lOrders)
        require(normal.isEmpty() || normal == trimmedRight(code), "an account stays as typed");

    const QString path = server::MAKEFILE(code, name, lInventory, lOrders, lIsDOS);
    if (path.isEmpty())
        return 0;
    const QChar separator = lIsDOS ? u'\\' : u'/';
    require(path.startsWith(QStringLiteral("images") + separator) &&
                path.endsWith(QStringLiteral(".jpg")),
            "a target path is a picture under images/");
    require(!lIsDOS || !path.contains(u'/'), "a Windows server's path has backslashes only");
    // A safe relative path of its rule's shape: images/<group>/<code>.jpg, or
    // for an account images/ssr|cust/<account>/<name>.jpg.
    require(server::isSafeRelativePath(path), "a target path is a safe relative path");
    const QStringList parts = path.split(separator);
    const bool account =
        !lInventory && !lOrders &&
        (parts.value(1) == QStringLiteral("ssr") || parts.value(1) == QStringLiteral("cust"));
    require(parts.size() == (account ? 4 : 3), "a target path has its rule's shape");
    return 0;
}
