#pragma once

#include "app/image_steps.h"
#include "imaging/crop.h"

#include <QObject>

namespace framla::app {

/// The source picture (typed path, "Capture", "Find"), the crop marks and
/// the presses on the pictures, "Rotate", "<>" and "<".
class SourceActions final : public QObject {
    Q_OBJECT
public:
    /// Connects its controls.
    explicit SourceActions(ImageSteps &steps);

    void undoCropping() {}
    void stretchCrop(const imaging::StartingPress &press) { Q_UNUSED(press); }
    void dragCrop(const imaging::StartingPress &press) { Q_UNUSED(press); }
    void refreshPictures() {}
    void chooseSourceByEnter() {}
    void loadTypedSource() {}

private:
    ImageSteps &m_steps;
};

} // namespace framla::app
