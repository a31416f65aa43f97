#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

namespace framla::runtime {

/// The window switch the command line shows: "/min" for Minimised.
enum class WindowHint { Minimised, Normal, Hidden };

/// One run of a command-line tool: the program, its argument list and its
/// window. The arguments are handed to the program as they are, never through
/// a shell, so a value with a blank stays one argument.
struct ToolCommand {
    /// The tool as the command line names it: ".\pscp.exe", ".\plink.exe",
    /// "convert", "mogrify", "CommandCam.exe".
    QString tool;
    /// The arguments, with the password left out (see password).
    QStringList args;
    WindowHint window = WindowHint::Minimised;
    /// Written as "start /wait" (or "start /min /wait") before the tool.
    bool viaStart = true;
    /// For the PuTTY tools: the password, rendered as "-pw" and a mask, and
    /// handed to the tool in a private file.
    QString password;
    /// Where "-pw" goes in args: before the argument of this index.
    int passwordAt = -1;
    /// The tool's standard output goes to this file (">" in the line).
    QString outputFile;
    /// False when the run must make a connection of its own (a settings
    /// test proves the settings by logging in itself).
    bool mayShare = true;

    /// The command line as the program writes it in its log, "/C " and the
    /// start switches included, with the password masked. A value with a
    /// blank is shown in double quotes.
    QString text() const;
    /// The same with the password in clear: only for comparing lines in tests.
    QString textWithPassword() const;

    /// True for pscp and plink.
    bool isPutty() const;
    /// The name to look for on this system: "pscp", "plink", "convert",
    /// "mogrify", "commandcam".
    QString executableName() const;
};

/// A password as logs show it.
inline constexpr auto kMaskedPassword = "********";

} // namespace framla::runtime

Q_DECLARE_METATYPE(framla::runtime::ToolCommand)

namespace framla::runtime {} // namespace framla::runtime
