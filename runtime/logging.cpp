#include "logging.h"

namespace framla::runtime {
Q_LOGGING_CATEGORY(lcFramla, "framla", QtInfoMsg)
}
