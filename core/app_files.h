#pragma once

// The working files the routines hand each other in the program's directory.
// They are always addressed by absolute path: the process's current
// directory is never changed after start-up.

#include "core/program_state.h"

#include <QDir>
#include <QString>

namespace framla {

/// The preview: written by preparation, shown by the preview view, sent by
/// the upload; also the server's copy fetched back.
inline constexpr auto kPreviewFile = "scratch.jpg";
/// The server program's reply, fetched from the server.
inline constexpr auto kReplyFile = "framla.tmp";
/// A copy of the preview taken as a new source.
inline constexpr auto kSourceCopyFile = "tempcopy.jpg";
/// The picture the capture tool writes, and the device list it leaves.
inline constexpr auto kCaptureFile = "image.bmp";
inline constexpr auto kDeviceListFile = "devlist.tmp";

/// A file in the program's directory (state.cAppPath), by absolute path.
inline QString appFile(const ProgramState &state, const QString &name)
{
    return QDir(state.cAppPath).filePath(name);
}

inline QString appFile(const ProgramState &state, const char *name)
{
    return appFile(state, QString::fromLatin1(name));
}

} // namespace framla
