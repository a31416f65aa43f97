#include "code_entry.h"

namespace framla::app {

CodeEntry::CodeEntry(ImageSteps &steps)
    : m_steps(steps)
{
}

} // namespace framla::app
