#pragma once

// What the per-event chain calls when an inline handler's condition holds.
// The image tab's and the settings tab's handlers implement these; every
// method does nothing until they do.

#include "imaging/crop.h"

namespace framla::app {

/// The image tab's inline handlers, one method each, in the order the chain
/// tries them.
class ImageTabActions {
public:
    virtual ~ImageTabActions() = default;
    /// Right-button press on a picture view or a label.
    virtual void undoCropping() {}
    /// Left-button press near a crop edge; the press is handed on so that
    /// the stretch starts from it.
    virtual void stretchCrop(const imaging::StartingPress &press) { Q_UNUSED(press); }
    /// Left-button press inside the crop box.
    virtual void dragCrop(const imaging::StartingPress &press) { Q_UNUSED(press); }
    /// Any other left-button press on a picture view or a label.
    virtual void refreshPictures() {}
    /// Enter in the code field.
    virtual void lookUpCode() {}
    /// Enter in the target name field in Cust/Sup mode.
    virtual void lookUpName() {}
    /// Enter on "Find".
    virtual void chooseSource() {}
    /// Enter in the source file name field.
    virtual void loadTypedSource() {}
    /// Enter in the target name field in Inventory or Repairs mode.
    virtual void normaliseTargetName() {}
    /// Any other key in the target name field in Inventory or Repairs mode.
    virtual void targetNameTyped() {}
    /// The end of a spin on one of the three adjustment controls, after
    /// they were clamped.
    virtual void adjusted() {}
};

/// The settings tab's inline handler.
class SettingsActions {
public:
    virtual ~SettingsActions() = default;
    /// Enter in one of the five server settings fields or on "Test and save
    /// above settings".
    virtual void testAndSaveFromEnter() {}
};

} // namespace framla::app
