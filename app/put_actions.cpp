#include "put_actions.h"

namespace framla::app {

PutActions::PutActions(ImageSteps &steps)
    : m_steps(steps)
{
}

} // namespace framla::app
