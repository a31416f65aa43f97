#include "prepare.h"

#include "core/value.h"
#include "runtime/files.h"
#include "runtime/logging.h"
#include "runtime/shell.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <filesystem>
#include <system_error>

namespace framla::imaging {

using core::safeDiv;
using runtime::ToolCommand;

namespace {

qint64 truncated(double value)
{
    return qint64(std::trunc(value));
}

} // namespace

QString toolFileName(const QString &name)
{
    return name.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + name : name;
}

ToolCommand imageToolCommand(const QString &tool, const QStringList &args)
{
    ToolCommand command;
    command.tool = tool;
    command.args = args;
    command.window = runtime::WindowHint::Hidden;
    command.viaStart = false;
    return command;
}

runtime::RunOutcome runImageTool(ProgramState &state, const ToolCommand &command)
{
    runtime::RunOutcome outcome;
    if (state.services.shell != nullptr)
        outcome = state.services.shell->run(command, runtime::kImageToolTimeoutMs);
    else
        outcome.message = QStringLiteral("No tool runner is set up.");
    if (!outcome.succeeded())
        qCWarning(runtime::lcFramla).noquote()
            << command.executableName() << "failed:" << outcome.message;
    return outcome;
}

QString CropArgument::text() const
{
    return QStringLiteral("%1x%2+%3+%4").arg(W).arg(H).arg(L).arg(T);
}

CropArgument cropArgument(QSize anSize, QSize aScrnSize, const CropCoords &aCropCoords)
{
    const double rs = safeDiv(aScrnSize.width(), aScrnSize.height());
    const double ri = safeDiv(anSize.width(), anSize.height());
    // The marks keep the fractions of the proportion rule; the only rounding
    // is the truncation of the four pixel numbers at the end.
    const QPointF a = aCropCoords.at(0);
    const QPointF b = aCropCoords.at(1);
    const double w = std::abs(a.x() - b.x());
    const double h = std::abs(a.y() - b.y());
    const double l = qMin(a.x(), b.x());
    // Image rows count from the top, view coordinates from the bottom.
    const double t = aScrnSize.height() - qMax(a.y(), b.y());
    const double s = rs < ri ? safeDiv(anSize.width(), aScrnSize.width())
                             : safeDiv(anSize.height(), aScrnSize.height());
    return {truncated(w * s), truncated(h * s), truncated(l * s), truncated(t * s)};
}

Adjustment clamped(const Adjustment &adjustment)
{
    return {qBound(0, adjustment.bright, 9), qBound(0, adjustment.gamma, 9),
            qBound(0, adjustment.contrast, 9)};
}

QString brightnessArgument(int bright)
{
    return QString::number((bright + 1) * 20);
}

QString gammaArgument(int gamma)
{
    return QString::number((gamma + 10) / 10.0, 'f', 2);
}

QString contrastArgument(int contrast)
{
    return QString::number(contrast * 10 / 2.55, 'f', 2) + QLatin1Char('%');
}

ToolCommand cropCommand(const QString &cFilename, const CropArgument &crop)
{
    return imageToolCommand(QStringLiteral("convert"),
                            {toolFileName(cFilename), QStringLiteral("-crop"), crop.text(),
                             QLatin1String(kPreviewFile)});
}

ToolCommand adjustmentCommand(const Adjustment &adjustment)
{
    return imageToolCommand(QStringLiteral("mogrify"),
                            {QStringLiteral("-modulate"), brightnessArgument(adjustment.bright),
                             QStringLiteral("-gamma"), gammaArgument(adjustment.gamma),
                             QStringLiteral("-level"), contrastArgument(adjustment.contrast),
                             QLatin1String(kPreviewFile)});
}

QString rotationFile(const QString &cFilename)
{
    const QFileInfo source(cFilename);
    return source.dir().filePath(QStringLiteral(".framla-turn-") + source.fileName());
}

ToolCommand rotateCommand(const QString &cFilename)
{
    return imageToolCommand(QStringLiteral("convert"),
                            {toolFileName(cFilename), QStringLiteral("-rotate"),
                             QStringLiteral("90"), rotationFile(cFilename)});
}

PreviewSource PreviewSource::of(const ProgramState &state)
{
    return {state.cFilename, state.anSize, state.aScrnSize, state.aCropCoords};
}

bool Prepare(ProgramState &state, const PreviewSource &source, const Adjustment &adjustment)
{
    const QString &cFilename = source.cFilename;
    const QString preview = appFile(state, kPreviewFile);
    runtime::eraseFile(preview);
    // A step that fails leaves no preview: half a preview (cropped but not
    // adjusted, or cut off) must not be shown, or sent, as this source's.
    const auto failed = [&](const char *step) {
        runtime::eraseFile(preview);
        state.previewExists = false;
        qCWarning(runtime::lcFramla).noquote()
            << "the" << step << "of" << cFilename << "failed; no preview was made";
        return false;
    };
    const runtime::RunOutcome crop = runImageTool(
        state,
        cropCommand(cFilename, cropArgument(source.anSize, source.aScrnSize, source.aCropCoords)));
    if (!crop.succeeded() || !runtime::fileExists(preview))
        return failed("crop");
    if (!runImageTool(state, adjustmentCommand(clamped(adjustment))).succeeded() ||
        !runtime::fileExists(preview))
        return failed("adjustment");
    state.previewExists = true;
    return true;
}

bool SrcRotate(ProgramState &state, const QString &cFilename)
{
    // The tool writes the turned picture beside the source; the source is
    // replaced only by a whole picture, so a tool stopped half-way leaves
    // the operator's photo as it was.
    const QString turned = rotationFile(cFilename);
    runtime::eraseFile(turned);
    const bool made =
        runImageTool(state, rotateCommand(cFilename)).succeeded() && QFileInfo(turned).size() > 0;
    std::error_code error;
    if (made)
        std::filesystem::rename(std::filesystem::path(turned.toStdU16String()),
                                std::filesystem::path(cFilename.toStdU16String()), error);
    if (!made || error) {
        runtime::eraseFile(turned);
        qCWarning(runtime::lcFramla).noquote()
            << "the quarter turn of" << cFilename << "failed; the picture is left as it was"
            << (error ? QString::fromStdString(error.message()) : QString());
        return false;
    }
    return true;
}

} // namespace framla::imaging
