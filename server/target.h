#pragma once

// The target is plain data and lives in core; the server routines name it
// as their own.

#include "core/target.h"

namespace framla::server {

using core::targetOf;
using framla::Target;

} // namespace framla::server
