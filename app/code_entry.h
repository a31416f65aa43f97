#pragma once

#include "app/image_steps.h"
#include "core/codes.h"

#include <QObject>

namespace framla::app {

/// The modes, the code field and its look-up, the target name field, "?"
/// and the tab's activation.
class CodeEntry final : public QObject {
    Q_OBJECT
public:
    /// Connects its controls: the mode radios, the code and target name
    /// fields (their blank rules and focus losses), "?" and the tab headers.
    explicit CodeEntry(ImageSteps &steps);

    /// A mode radio selected: the mode's flags, empty fields, no put until
    /// the next look-up; the choice is saved with the local options.
    void chooseMode(core::Mode mode);

    /// Enter in the code field: normalise the code and look it up.
    void lookUpCode();
    /// Enter in the target name field in Cust/Sup mode: look up the account
    /// with that image name.
    void lookUpName();
    /// Enter in the target name field in Inventory or Repairs mode.
    void normaliseTargetName();
    /// Any other key there.
    void targetNameTyped();

    /// The code field or the target name field has lost the focus.
    void takeCode();
    void takeName();

    /// "?": the settings tab comes up.
    void toSettings();
    /// The image tab's header chosen: the image-tool check first; the tab
    /// comes up only when it passes. False when the settings tab stays.
    bool activateImageTab();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool custSup() const;
    /// A code refused before any look-up: the description says why, and what
    /// belonged to the record on show goes (its picture, its name, the put
    /// and the deletion of the recorded picture). The source stays.
    void forgetRecord(const QString &why, const QString &shownCode);

    ImageSteps &m_steps;
};

} // namespace framla::app
