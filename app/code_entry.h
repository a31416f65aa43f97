#pragma once

#include "app/image_steps.h"
#include "imaging/crop.h"

#include <QObject>

namespace framla::app {

/// The modes, the code field and its look-up, the target name field, "?"
/// and the tab's activation.
class CodeEntry final : public QObject {
    Q_OBJECT
public:
    /// Connects its controls.
    explicit CodeEntry(ImageSteps &steps);

    void lookUpCode() {}
    void lookUpName() {}
    void normaliseTargetName() {}
    void targetNameTyped() {}

private:
    ImageSteps &m_steps;
};

} // namespace framla::app
