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

    /// "Capture": a picture from the webcam becomes the source.
    void capture();
    /// "Find": a file chosen in the file dialog becomes the source.
    void find();
    /// Enter on "Find": the same without the message and the preview.
    void chooseSourceByEnter();
    /// The source file field has lost the focus, or Enter was pressed in it.
    void takeTypedSource();
    void loadTypedSource();

    /// "Set crop marks": the operator marks two corners on the source.
    void setCropMarks();
    /// Presses on a picture view or a label: undo the crop marks, stretch or
    /// drag them from the press, or refresh the source and the preview.
    void undoCropping();
    void stretchCrop(const imaging::StartingPress &press);
    void dragCrop(const imaging::StartingPress &press);
    void refreshPictures();

    /// "Rotate": the source file a quarter turn, asked first unless it is the
    /// copy of the preview.
    void rotate();
    /// "<>": the preview in the source view for a second.
    void switchView();
    /// "<": the preview copied to "tempcopy.jpg" becomes the source.
    void copyPreviewAsSource();
    /// The end of a spin on an adjustment control: the preview again, with
    /// the values the controls show.
    void adjusted();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// The steps after a new source photo ("Capture", "Find"): adjustments
    /// reset, the source shown, "Put it" and "Set crop marks" enabled by it,
    /// the file field marked, the default name, the preview, the source again.
    void showNewSource();
    /// After a stretch or a drag: pointers back, preview, code, buttons.
    void afterMovingCrop();
    /// "Put it" after a press on the pictures or a rotation.
    void putBySourceAndCode();
    /// The normal pointer, or the wait pointer, on both pages and "Set crop marks".
    void showCropPointers(int shape);

    ImageSteps &m_steps;
};

} // namespace framla::app
