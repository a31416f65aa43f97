#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <exception>
#include <optional>
#include <source_location>

namespace framla {
struct ProgramState;
}

namespace framla::runtime {

/// Generic error codes the central handler knows.
enum GenCode : int {
    kGenNumeric = 11,  ///< a numeric operation that yields 0 silently
    kGenArith = 12,    ///< an arithmetic operation failed (a zero divisor when "/" or "%")
    kGenConvert = 33,  ///< a value could not be converted
    kGenWrite = 24,    ///< a file could not be written
    kGenOpen = 71,     ///< a file could not be opened (osCode 32: in use by another process)
    kGenCreate = 78,   ///< a file could not be created; goes on with the default when it may
};

/// An object passed in an error's args: logged with its class name.
struct ErrorObject {
    QString className;
    bool operator==(const ErrorObject &other) const = default;
};

/// One level of the call stack: routine name and line number.
struct StackFrame {
    QString name;
    int line = 0;
};

/// The error object: what failed, where, and what the handler may offer.
/// Values in args and cargo are QVariant: an invalid QVariant is "no value",
/// QString text, a number, bool, QDate, QVariantList a list, ErrorObject an object.
struct RuntimeError : std::exception {
    std::optional<QVariantList> args;
    bool canDefault = false;
    bool canRetry = false;
    bool canSubstitute = false;
    QVariant cargo;
    QString description;
    QString filename;
    int genCode = 0;
    QString operation;
    int osCode = 0;
    int severity = 2;
    int subCode = 0;
    QString subSystem = QStringLiteral("BASE");
    qint64 thread = 0;
    int tries = 0;
    /// From the routine in which the error occurred outwards.
    QList<StackFrame> callStack;

    const char *what() const noexcept override { return "framla::runtime::RuntimeError"; }
};

/// Thrown when the operator cancels a failed operation and declines to end the
/// program: the operation is abandoned and the nearest recovery point (the
/// event dispatch, a worker's task) carries on.
struct OperationAbandoned : std::exception {
    const char *what() const noexcept override { return "operation abandoned"; }
};

/// The identifier of the calling thread, as the error message and the log show it.
qint64 currentThreadNumber();

/// A new error object with the thread and the caller's location filled in.
RuntimeError makeError(int genCode, const QString &description,
                       std::source_location where = std::source_location::current());

} // namespace framla::runtime

Q_DECLARE_METATYPE(framla::runtime::ErrorObject)
