// The device list parser: any bytes as the capture tool's "/devlist" output.
#include "fuzz_input.h"
#include "imaging/acquisition.h"

using namespace framla;
using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString output =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString list = imaging::devlistText(output);
    if (!output.contains(QStringLiteral("Device name:"))) {
        require(list == QStringLiteral("\r\n    No image capture device found."),
                "without devices the notice");
        return 0;
    }
    // Numbered entries, the first numbered 1, and never the notice (unless a
    // device's name holds it).
    require(list.startsWith(QStringLiteral("1: ")), "the first device is number 1");
    require(!list.contains(QStringLiteral("No image capture device found")) ||
                output.contains(QStringLiteral("No image capture device found")),
            "with devices no notice");
    return 0;
}
