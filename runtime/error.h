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
    kGenNumeric = 11,   ///< a numeric operation that yields 0 silently
    kGenArith = 12,     ///< an arithmetic operation failed (a zero divisor when "/" or "%")
    kGenConvert = 33,   ///< a value could not be converted
    kGenWrite = 24,     ///< a file could not be written
    kGenOpen = 71,      ///< a file could not be opened
    kGenCreate = 78,    ///< a file could not be created; goes on with the default when it may
    kGenException = 90, ///< an exception other than the runtime's own (from a library)
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

/// What the central handler settled on, when it returns at all.
struct HandlerResult {
    enum class Kind {
        Number,  ///< the failed operation's result is `number`
        Retry,   ///< attempt the operation again
        Default, ///< go on with the operation's default result
    };
    Kind kind = Kind::Default;
    double number = 0;

    static HandlerResult retry() { return {Kind::Retry, 0}; }
    static HandlerResult byDefault() { return {Kind::Default, 0}; }
    static HandlerResult value(double n) { return {Kind::Number, n}; }
    bool operator==(const HandlerResult &other) const = default;
};

/// The runtime the error box and the error log name: the toolkit whose
/// version the log records.
inline constexpr QLatin1String kRuntimeName{"Qt"};
/// Title of the error boxes: the runtime's name followed by " Error Message".
inline constexpr QLatin1String kErrorTitle{"Qt Error Message"};

/// True for the platform's "file in use by another process" error: the
/// sharing violation (32) on Windows; EBUSY or ETXTBSY elsewhere, where 32
/// means something else (a broken pipe on Linux).
bool isSharingViolation(int osCode);

/// The identifier of the calling thread, as the error message and the log show it.
qint64 currentThreadNumber();

/// The bare routine name of a compiler-given function signature:
/// "void framla::server::PutFile(ProgramState&)" gives "PutFile".
QString routineName(const char *functionName);

/// One call level for the given source location.
StackFrame stackFrame(const std::source_location &where);

/// A new error object with the thread and the caller's location filled in.
RuntimeError makeError(int genCode, const QString &description,
                       std::source_location where = std::source_location::current());

/// An exception other than RuntimeError and OperationAbandoned (a bad
/// std::get, memory exhausted, anything a library throws) as an error object:
/// genCode kGenException, the exception's type and what() as the description,
/// neither retry nor default. where is the routine that caught it.
RuntimeError foreignError(const std::exception_ptr &exception,
                          std::source_location where = std::source_location::current());

/// The central handler. Settles a few cases silently (genCode 11; 12 for "/" or
/// "%" with a zero last argument; 71 with osCode 32 and 78 when they may
/// default); otherwise asks the operator. Retry and Ignore return; Cancel
/// followed by No throws OperationAbandoned; every other answer writes the
/// error log and ends the program with exit code 1 (state.services.exitProgram).
HandlerResult StandardEH(ProgramState &state, RuntimeError &error);

/// The message text of an error, lines separated by ";".
QString ERRORMESSAGE(const RuntimeError &error);

/// The text word-wrapped at width, each line without trailing blanks, lines
/// joined with ";".
QString LINESPLIT(const QString &text, int width);

/// Writes RUNERROR.LOG (or RUNERROR.001 ... RUNERROR.999 when it cannot be
/// created) in the current directory and tells the operator its name.
/// stackStart 2 lists the call stack from the routine in which the error
/// occurred; each level above 2 skips one more routine. When no file can be
/// created, the program ends with exit code 1.
void ErrorLog(ProgramState &state, const RuntimeError &error, int stackStart);

/// The type letter of a value: "C" text, "N" number, "L" logical, "D" date,
/// "A" list, "O" object, "U" no value.
QChar valueType(const QVariant &value);

/// A value written out as text: ".T."/".F.", numbers without padding, dates
/// "mm/dd/yy", lists as "{a, b}", objects as "<ClassName>", no value as "NIL".
QString valueText(const QVariant &value);

/// A value in display form, as the error log's field lines show it: like
/// valueText, but numbers right-aligned in 10 characters.
QString displayValue(const QVariant &value);

/// The operating system's name and version, as the error log shows it.
QString platformText();

/// A command line with the word after each "-pw" (a password handed to a
/// tool) shown as kMaskedPassword; the rest of the text stays as it is.
QString maskCommandLines(QString text);

/// The error as the error box and the error log show it: the places where a
/// password stands are masked. A value that is the server password (login.cPass,
/// cPassx) as a whole, the password of a ToolCommand value and the word after
/// "-pw" in a command line show kMaskedPassword; other text, such as a date
/// or a code that happens to contain the same characters, stays as it is.
RuntimeError withPasswordsMasked(const ProgramState &state, RuntimeError error);

/// Ends the program with exit code 1 through state.services.exitProgram.
/// Never returns: should the service come back, the operation is abandoned.
[[noreturn]] void endWithError(ProgramState &state);

} // namespace framla::runtime

Q_DECLARE_METATYPE(framla::runtime::ErrorObject)
