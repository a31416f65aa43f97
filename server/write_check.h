#pragma once

#include <QString>

#include <optional>

namespace framla {
struct ProgramState;
}

namespace framla::server {

/// May the target file the reply describes be written (or deleted, with
/// lForDelete)? Explains a refusal in a message box and asks before an
/// existing file is replaced. An omitted lForDelete counts as false.
bool Ok2Write(ProgramState &state, const QString &replyFile, bool lIsImage,
              std::optional<bool> lForDelete = std::nullopt);

/// The message for a file owned by someone else.
QString ownerMessage(const QString &owner, bool lIsImage);

/// The message for an image published by the web upload utility.
QString webUploadMessage();

} // namespace framla::server
