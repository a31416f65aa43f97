#pragma once

// The image tab's behaviour: one object that the per-event chain calls for
// its inline handlers, made of three areas, each in files of its own:
//   code_entry    the modes, the code field, the target name field, "?" and
//                 the tab's activation;
//   source_actions the source (typed path, "Capture", "Find"), the crop marks
//                 and presses on the pictures, "Rotate", "<>" and "<";
//   put_actions   "Put it", the size radios, both "X" buttons, "Show
//                 Existing" and "ix".

#include "app/chain_actions.h"
#include "app/image_steps.h"

#include <QObject>

#include <memory>

namespace framla::app {

class CodeEntry;
class SourceActions;
class PutActions;

class ImageTab final : public QObject, public ImageTabActions {
    Q_OBJECT
public:
    /// The window's pages must be built. Connects every control of the image tab.
    ImageTab(ProgramState &state, MainWindow &window, server::TargetDisplay &display);
    ~ImageTab() override;

    ImageSteps &steps() { return m_steps; }
    CodeEntry &codeEntry() { return *m_code; }
    SourceActions &source() { return *m_source; }
    PutActions &put() { return *m_put; }

    // The inline handlers of the per-event chain.
    void undoCropping() override;
    void stretchCrop(const imaging::StartingPress &press) override;
    void dragCrop(const imaging::StartingPress &press) override;
    void refreshPictures() override;
    void lookUpCode() override;
    void lookUpName() override;
    void chooseSource() override;
    void loadTypedSource() override;
    void normaliseTargetName() override;
    void targetNameTyped() override;
    void adjusted() override;

private:
    ImageSteps m_steps;
    std::unique_ptr<CodeEntry> m_code;
    std::unique_ptr<SourceActions> m_source;
    std::unique_ptr<PutActions> m_put;
};

} // namespace framla::app
