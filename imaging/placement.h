#pragma once

#include "core/program_state.h"

#include <QSize>
#include <QString>

#include <optional>

class QWidget;

namespace framla::imaging {

class ImageView;

/// Places a picture in one of the two views and keeps lOk2DelSrc and
/// lOk2DelTarg up to date. cFile is a path or a bare name in the program's
/// directory; "wait.gif" always shows the built-in waiting picture. A file
/// that exists is drawn over the no-image picture; one that does not shows
/// the no-image picture. cMode is "S", "SW", "T", "TW" or "" (any other text
/// acts like ""); the letters change the flags only as the Inventory option
/// (local option slot 1) allows. When aCropCoords is given and differs from
/// {{0, 0}, ASCRN_SIZE}, the crop box is drawn over the picture.
void HangPicture(ProgramState &state, const QString &cFile, ImageView *oStat, const QString &cMode,
                 std::optional<CropCoords> aCropCoords = std::nullopt,
                 QSize ascrnSize = ASCRN_SIZE);

/// True when crop marks are set: the rectangle differs from {{0, 0}, screen box}.
bool cropMarksSet(const CropCoords &aCropCoords, QSize ascrnSize);

/// Local option slot 1: the Inventory mode as last saved.
bool inventoryOption(const ProgramState &state);

} // namespace framla::imaging
