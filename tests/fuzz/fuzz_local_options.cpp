// The options file reader: any bytes as "scratch.xpf".
#include "config/local_options.h"
#include "fuzz_input.h"

#include <cmath>

using namespace framla;
using fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::optional<LocalCfg> cfg = config::decodeLocalCfg(text);
    if (!cfg)
        return 0;
    for (const LocalValue &value : *cfg) {
        if (const double *number = std::get_if<double>(&value))
            require(std::isfinite(*number), "numbers are finite");
    }
    // What was read writes out as a file that reads back the same.
    const std::optional<LocalCfg> again = config::decodeLocalCfg(config::encodeLocalCfg(*cfg));
    require(again.has_value() && *again == *cfg, "options read back unchanged");
    // Completion knows the lengths it may complete, and ends usable from them.
    LocalCfg completed = *cfg;
    int saves = 0;
    const int steps = config::completeLocalCfg(completed, [&saves] { ++saves; });
    require(steps == saves, "every completion step saves");
    if (config::isUsableLocalCfg(*cfg))
        require(completed.size() == 10 && config::isUsableLocalCfg(completed),
                "a usable array completes to ten usable slots");
    return 0;
}
