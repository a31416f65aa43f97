#pragma once

#include "app/image_steps.h"
#include "imaging/crop.h"

#include <QObject>

namespace framla::app {

/// "Put it", the size radios, both "X" buttons, "Show Existing" and "ix".
class PutActions final : public QObject {
    Q_OBJECT
public:
    /// Connects its controls.
    explicit PutActions(ImageSteps &steps);

private:
    ImageSteps &m_steps;
};

} // namespace framla::app
