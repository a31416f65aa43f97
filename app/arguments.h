#pragma once

#include <QString>
#include <QStringList>

namespace framla::app {

/// The three command-line arguments after cleaning.
struct StartArguments {
    QString cfgFileName = QStringLiteral("Framla.cfg"); ///< settings file name
    QString startCode;    ///< start inventory code, normalised; empty when not given
    QString startAccount; ///< start account number; empty when not given or out of range
};

/// Settings file name from the first argument: "/", ".", ",", "*" and "$"
/// removed, then ".cfg" added; "Framla.cfg" when nothing but blanks is left.
QString settingsFileName(const QString &argument);

/// Start account number: kept only when 1000 < value <= 99999.
QString startAccount(const QString &argument);

/// All three arguments (the program name not included).
StartArguments parseArguments(const QStringList &arguments);

} // namespace framla::app
