#pragma once

#include "core/service.h"

#include <QString>

namespace framla::runtime {

/// Answer codes of message and confirm boxes, as the handlers compare them.
enum Answer : int {
    kOk = 1,
    kCancel = 2,
    kAbort = 3,
    kRetry = 4,
    kIgnore = 5,
    kYes = 6,
    kNo = 7,
};

enum class Buttons { Ok, OkCancel, YesNo, RetryCancel, AbortRetryIgnore };
enum class Icon { None, Information, Question, Warning, Critical };

/// Which button is the default: the first or the second.
enum class DefaultButton { First, Second };

/// Message boxes, confirm boxes, file and folder dialogs. The program uses QtDialogs;
/// tests use a scripted implementation that records every box and answers
/// from a queue.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    /// A modal message box with an OK button. Lines are joined with CR LF.
    virtual void msgBox(const QString &text, const QString &title = {}) = 0;

    /// A modal box with the given buttons; returns the Answer of the button
    /// pressed (closing the box counts as the last button: Cancel or No; in
    /// Abort/Retry/Ignore as Abort).
    virtual int confirmBox(const QString &text, const QString &title, Buttons buttons,
                           Icon icon = Icon::Question,
                           DefaultButton defaultButton = DefaultButton::First) = 0;

    /// A file dialog for opening one file; returns the chosen path, or an
    /// empty text when the operator cancels. filterName and pattern make one
    /// filter ("Images", "*.jpg *.bmp").
    virtual QString openFileName(const QString &title, const QString &filterName,
                                 const QString &pattern, const QString &startDir) = 0;

    /// A dialog for choosing an existing folder, opening on start; returns
    /// the chosen folder, or an empty text when the operator cancels.
    virtual QString existingDirectory(const QString &title, const QString &start) = 0;
};

} // namespace framla::runtime

namespace framla {
/// runtime::Dialogs fills the program state's DialogsService slot.
template<> struct ServiceType<DialogsService> {
    using type = runtime::Dialogs;
};
} // namespace framla
