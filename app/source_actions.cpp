#include "source_actions.h"

namespace framla::app {

SourceActions::SourceActions(ImageSteps &steps)
    : m_steps(steps)
{
}

} // namespace framla::app
