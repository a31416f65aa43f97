#include "error.h"

#include <QRegularExpression>
#include <QThread>

#include "core/program_state.h"
#include "runtime/appsys.h"
#include "runtime/dialogs.h"
#include "runtime/logging.h"
#include "runtime/tool_command.h"

#include <algorithm>
#include <cerrno>
#include <typeinfo>

#if __has_include(<cxxabi.h>)
#include <cstdlib>
#include <cxxabi.h>
#define FRAMLA_HAS_CXXABI 1
#endif

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace framla::runtime {

namespace {

bool isZeroNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble() == 0.0;
    default:
        return false;
    }
}

bool isDivisionByZero(const RuntimeError &error)
{
    if (!error.operation.contains(QLatin1Char('/')) && !error.operation.contains(QLatin1Char('%')))
        return false;
    return error.args && !error.args->isEmpty() && isZeroNumber(error.args->last());
}

Buttons buttonsFor(const RuntimeError &error)
{
    if (error.canDefault && error.canRetry)
        return Buttons::AbortRetryIgnore;
    if (error.canRetry)
        return Buttons::RetryCancel;
    if (error.canDefault)
        return Buttons::OkCancel;
    return Buttons::Ok;
}

Icon iconFor(int severity)
{
    if (severity == 2 || severity == 3)
        return Icon::Critical;
    if (severity == 1)
        return Icon::Warning;
    return Icon::Information;
}

QString withoutTrailingBlanks(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

/// Word-wraps one paragraph (no line breaks in it) at width.
void wrapParagraph(QString rest, int width, QStringList &lines)
{
    rest = withoutTrailingBlanks(rest);
    while (rest.size() > width) {
        const qsizetype blank = rest.lastIndexOf(QLatin1Char(' '), width);
        qsizetype next = width;
        if (blank > 0) {
            lines.append(withoutTrailingBlanks(rest.left(blank)));
            next = blank;
            while (next < rest.size() && rest.at(next) == QLatin1Char(' '))
                ++next;
        } else {
            // A word longer than the line is cut at the width.
            lines.append(rest.left(width));
        }
        rest = rest.mid(next);
    }
    lines.append(rest);
}

/// The readable name of a type, "std::bad_alloc" rather than "St9bad_alloc".
QString typeName(const std::type_info *type)
{
    if (type == nullptr)
        return QStringLiteral("unknown type");
#ifdef FRAMLA_HAS_CXXABI
    int status = 0;
    char *readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    if (status == 0 && readable != nullptr) {
        const QString name = QString::fromLatin1(readable);
        std::free(readable);
        return name;
    }
    std::free(readable);
#endif
    return QString::fromLatin1(type->name());
}

/// The type of the exception being handled, where the C++ runtime tells it.
const std::type_info *currentExceptionType()
{
#ifdef FRAMLA_HAS_CXXABI
    return abi::__cxa_current_exception_type();
#else
    return nullptr;
#endif
}

} // namespace

qint64 currentThreadNumber()
{
#ifdef Q_OS_LINUX
    return static_cast<qint64>(gettid());
#else
    return static_cast<qint64>(reinterpret_cast<quintptr>(QThread::currentThreadId()));
#endif
}

QString routineName(const char *functionName)
{
    const QString signature = QString::fromLatin1(functionName);
    qsizetype paren = signature.indexOf(QLatin1Char('('));
    if (paren < 0)
        paren = signature.size();
    // Drop template arguments, so that "::" and blanks inside them do not count.
    QString head;
    int depth = 0;
    for (qsizetype i = 0; i < paren; ++i) {
        const QChar c = signature.at(i);
        if (c == QLatin1Char('<'))
            ++depth;
        else if (c == QLatin1Char('>'))
            depth = std::max(0, depth - 1);
        else if (depth == 0)
            head.append(c);
    }
    head = head.mid(head.lastIndexOf(QLatin1Char(' ')) + 1);
    const qsizetype scope = head.lastIndexOf(QLatin1String("::"));
    return scope < 0 ? head : head.mid(scope + 2);
}

StackFrame stackFrame(const std::source_location &where)
{
    return StackFrame{routineName(where.function_name()), static_cast<int>(where.line())};
}

RuntimeError makeError(int genCode, const QString &description, std::source_location where)
{
    RuntimeError error;
    error.genCode = genCode;
    error.description = description;
    error.filename = QLatin1String("");
    error.operation = QLatin1String("");
    error.thread = currentThreadNumber();
    error.callStack.append(stackFrame(where));
    return error;
}

RuntimeError foreignError(const std::exception_ptr &exception, std::source_location where)
{
    QString type;
    QString said;
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception &e) {
        type = typeName(&typeid(e));
        said = QString::fromLocal8Bit(e.what());
    } catch (...) {
        type = typeName(currentExceptionType());
    }
    QString description = QStringLiteral("Unexpected exception ") + type;
    if (!said.isEmpty() && said != type)
        description += QLatin1String(": ") + said;
    return makeError(kGenException, description, where);
}

QString LINESPLIT(const QString &text, int width)
{
    if (text.isEmpty())
        return {};
    QString plain = text;
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList paragraphs = plain.split(QLatin1Char('\n'));
    if (paragraphs.size() > 1 && paragraphs.last().isEmpty())
        paragraphs.removeLast();
    QStringList lines;
    for (const QString &paragraph : std::as_const(paragraphs))
        wrapParagraph(paragraph, std::max(1, width), lines);
    return lines.join(QLatin1Char(';'));
}

QString ERRORMESSAGE(const RuntimeError &error)
{
    QString message = error.severity > 1 ? QStringLiteral("Error ") : QStringLiteral("Warning ");
    message += error.subSystem.isNull() ? QStringLiteral("????") : error.subSystem;
    message += QLatin1Char('/') + QString::number(error.subCode);
    if (!error.description.isNull())
        message += QLatin1String(";Description : ") + error.description;
    if (!error.filename.isEmpty())
        message += QLatin1String(";File : ") + error.filename;
    if (!error.operation.isEmpty())
        message += QLatin1String(";Operation : ") + error.operation;
    message += QLatin1String(";Thread ID : ") + QString::number(error.thread);
    if (error.cargo.typeId() == QMetaType::QVariantList) {
        const QVariantList cargo = error.cargo.toList();
        if (cargo.size() == 3) {
            if (cargo.at(0).typeId() == QMetaType::QString)
                message += QLatin1Char(';') + LINESPLIT(cargo.at(0).toString(), 50);
            message += QLatin1Char(';') + LINESPLIT(valueText(cargo.at(2)), 50);
        }
    }
    return message;
}

QString maskCommandLines(QString text)
{
    // The word after "-pw " as ToolCommand writes it: plain, or in double
    // quotes when it has a blank.
    static const QRegularExpression password(QStringLiteral("((?:^|\\s)-pw )(\"[^\"]*\"|\\S+)"));
    return text.replace(password, QLatin1String("\\1") + QLatin1String(kMaskedPassword));
}

namespace {

bool isPassword(const ProgramState &state, const QString &text)
{
    return !text.isEmpty() && (text == state.login.cPass || text == state.cPassx);
}

QString maskedText(const ProgramState &state, const QString &text)
{
    return isPassword(state, text) ? QString::fromLatin1(kMaskedPassword) : maskCommandLines(text);
}

QVariant maskedValue(const ProgramState &state, const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<ToolCommand>())
        return value.value<ToolCommand>().text();
    switch (value.typeId()) {
    case QMetaType::QString:
        return maskedText(state, value.toString());
    case QMetaType::QStringList: {
        QStringList items = value.toStringList();
        for (QString &item : items)
            item = maskedText(state, item);
        return items;
    }
    case QMetaType::QVariantList: {
        QVariantList items = value.toList();
        for (QVariant &item : items)
            item = maskedValue(state, item);
        return items;
    }
    default:
        return value;
    }
}

} // namespace

RuntimeError withPasswordsMasked(const ProgramState &state, RuntimeError error)
{
    if (error.args) {
        for (QVariant &arg : *error.args)
            arg = maskedValue(state, arg);
    }
    error.cargo = maskedValue(state, error.cargo);
    if (!error.description.isNull())
        error.description = maskedText(state, error.description);
    error.filename = maskedText(state, error.filename);
    error.operation = maskedText(state, error.operation);
    for (StackFrame &frame : error.callStack)
        frame.name = maskCommandLines(frame.name);
    return error;
}

void endWithError(ProgramState &state)
{
    if (state.services.exitProgram)
        state.services.exitProgram(1);
    else
        endProgram(1);
    // The exit service came back (it only asked the event loop to stop):
    // the failed operation must not go on.
    throw OperationAbandoned{};
}

bool isSharingViolation(int osCode)
{
#ifdef Q_OS_WIN
    return osCode == 32; // ERROR_SHARING_VIOLATION
#else
    return osCode == EBUSY || osCode == ETXTBSY;
#endif
}

HandlerResult StandardEH(ProgramState &state, RuntimeError &error)
{
    if (error.genCode == kGenNumeric)
        return HandlerResult::value(0);
    if (error.genCode == kGenArith && isDivisionByZero(error))
        return HandlerResult::value(0);
    if (error.genCode == kGenOpen && isSharingViolation(error.osCode) && error.canDefault)
        return HandlerResult::byDefault();
    if (error.genCode == kGenCreate && error.canDefault)
        return HandlerResult::byDefault();

    const RuntimeError shown = withPasswordsMasked(state, error);
    QString message = ERRORMESSAGE(shown);
    if (shown.osCode != 0) {
        message += QLatin1String(";Operating system error : ") + QString::number(shown.osCode) +
                   QLatin1Char(';') + qt_error_string(shown.osCode);
    }
    for (const StackFrame &frame : std::as_const(shown.callStack)) {
        if (frame.name.isEmpty())
            break;
        message += QLatin1String(";Called from ") + frame.name + QLatin1Char('(') +
                   QString::number(frame.line) + QLatin1Char(')');
    }
    const QString text = message.replace(QLatin1Char(';'), QLatin1Char('\r'));

    Dialogs *dialogs = state.services.dialogs;
    int answer = kOk;
    if (dialogs != nullptr)
        answer = dialogs->confirmBox(text, kErrorTitle, buttonsFor(error), iconFor(error.severity));
    else
        qCCritical(lcFramla, "%s", qPrintable(text));

    switch (answer) {
    case kRetry:
        return HandlerResult::retry();
    case kIgnore:
        return HandlerResult::byDefault();
    case kCancel:
        if (dialogs == nullptr ||
            dialogs->confirmBox(QStringLiteral("Exit with LOG file"), kErrorTitle, Buttons::YesNo,
                                Icon::Warning) != kYes)
            throw OperationAbandoned{};
        break;
    default:
        break;
    }
    ErrorLog(state, error, 2);
    endWithError(state);
}

} // namespace framla::runtime
