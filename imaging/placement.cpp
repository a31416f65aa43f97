#include "placement.h"

#include "core/app_files.h"
#include "imaging/image_view.h"
#include "imaging/picture_reader.h"
#include "ui/line_attr.h"

#include <QFileInfo>

namespace framla::imaging {

bool cropMarksSet(const CropCoords &aCropCoords, QSize ascrnSize)
{
    const CropCoords none{QPoint(0, 0), QPoint(ascrnSize.width(), ascrnSize.height())};
    return aCropCoords != none;
}

bool inventoryOption(const ProgramState &state)
{
    return optionValue(state.aLocalCfg, Option::Inventory, false);
}

void HangPicture(ProgramState &state, const QString &cFile, ImageView *oStat, const QString &cMode,
                 std::optional<CropCoords> aCropCoords, QSize ascrnSize)
{
    if (oStat == nullptr)
        return;
    const QString wait = QLatin1String(kWaitPicture);
    const QString noImage = QLatin1String(kNoImagePicture);
    // A new picture covers the box drawn over the previous one.
    oStat->setCropBox(std::nullopt);

    if (!cFile.isEmpty() && QFileInfo::exists(oStat->resolve(cFile)) && cFile != wait) {
        // The no-image picture first: what the new picture leaves uncovered
        // shows it rather than the picture before.
        oStat->load(noImage);
        oStat->display();
        oStat->load(cFile);
        oStat->display();
        if (aCropCoords && cropMarksSet(*aCropCoords, ascrnSize)) {
            ui::GRASETATTRLINE(state, &oStat->presSpace(),
                               ui::LineAttrList{std::nullopt, ui::kMixInvert, 2, 0});
            oStat->setCropBox(*aCropCoords);
        }
        state.lOk2DelTarg = true;
        oStat->show();
        if (cFile != QLatin1String(kPreviewFile))
            state.lOk2DelSrc = true;
        if (!inventoryOption(state))
            return;
        if (cMode == QLatin1String("S"))
            state.lOk2DelSrc = true;
        else if (cMode == QLatin1String("SW"))
            state.lOk2DelSrc = false;
        else if (cMode == QLatin1String("T"))
            state.lOk2DelTarg = true;
        else if (cMode == QLatin1String("TW"))
            state.lOk2DelTarg = false;
        return;
    }

    oStat->load(cFile == wait ? wait : noImage);
    oStat->display();
    oStat->show();
    if (cMode == QLatin1String("SW"))
        state.lOk2DelSrc = false;
    else if (cMode == QLatin1String("TW"))
        state.lOk2DelTarg = false;
}

} // namespace framla::imaging
