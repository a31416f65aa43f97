#pragma once

#include "app/image_steps.h"
#include "imaging/crop.h"

#include <QObject>
#include <QString>

namespace framla::app {

/// "Put it", the size radios, both "X" buttons, "Show Existing" and "ix".
class PutActions final : public QObject {
    Q_OBJECT
public:
    /// Connects its controls.
    explicit PutActions(ImageSteps &steps);

    /// "Put it": the recorded picture fetched again, the write check, the
    /// preview prepared once more, the size question for large pictures at
    /// 640, and the upload; then back to the code field.
    void putIt();
    /// A size radio selected: 0 for 160, 1 for 320, 2 for 640 pixels.
    void chooseSize(int index);
    /// "X" beside "< Erase Image >": the source file deleted, after a question
    /// unless it is the working copy "tempcopy.jpg".
    void deleteSource();
    /// "X" of the target: the recorded picture deleted after a question, then
    /// the code looked up again whatever the answer.
    void deleteTarget();
    /// "Show Existing": the account's pictures on the shop's web server, in
    /// the desktop's web browser.
    void showExisting();
    /// "ix": a data transfer file sent into the server's shuttle directory.
    void sendDataFile();

    /// The address "Show Existing" opens for an account; empty when the
    /// server address or the account cannot make one.
    static QString existingImagesAddress(const QString &cAddress, const QString &cCode);

    /// What the supplier-picture notice shows of the reply's notes (the text
    /// from its first "<!-- " on): the path of the supplier's picture they
    /// name, or, when they name no plain path, the notes that mention one
    /// without their comment marks, a line each.
    static QString supplierPictureNote(const QString &cFramla);

private:
    /// The server's report on a picture of this name in the account's
    /// directory; false when the code is no supplier or customer account.
    bool checkAccountPicture(const QString &name);
    /// The code looked up once more with a token of its own.
    void lookUpAgain();
    /// The put refused by the write check: the recorded picture stays shown.
    void keepExisting();
    /// The end of every put: the code field ready for the next code.
    void backToCode();

    ImageSteps &m_steps;
};

} // namespace framla::app
