// The error log: RUNERROR.LOG in the current directory, and the display
// forms of the values it lists.

#include "error.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QSysInfo>

#include "core/program_state.h"
#include "runtime/appsys.h"
#include "runtime/clock.h"
#include "runtime/dialogs.h"
#include "runtime/logging.h"

#include <algorithm>
#include <cmath>

namespace framla::runtime {

namespace {

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

/// The class name of an object value, or a null text when it is none.
QString objectClass(const QVariant &value)
{
    if (value.typeId() == qMetaTypeId<ErrorObject>())
        return value.value<ErrorObject>().className;
    if (value.metaType().flags().testFlag(QMetaType::PointerToQObject)) {
        const QObject *object = value.value<QObject *>();
        return object ? QString::fromLatin1(object->metaObject()->className())
                      : QStringLiteral("NIL");
    }
    return {};
}

QString numberText(double number, int width)
{
    const bool whole =
        std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 1e15;
    const QString text =
        whole ? QString::number(static_cast<qint64>(number)) : QString::number(number, 'g', 15);
    return QStringLiteral("%1").arg(text, width);
}

QString valueForm(const QVariant &value, int numberWidth)
{
    if (!value.isValid())
        return QStringLiteral("NIL");
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral(".T.") : QStringLiteral(".F.");
    if (isNumber(value))
        return numberText(value.toDouble(), numberWidth);
    if (value.typeId() == QMetaType::QDate)
        return DTOC(value.toDate());
    if (valueType(value) == QLatin1Char('A')) {
        QStringList parts;
        const QVariantList items = value.toList();
        for (const QVariant &item : items)
            parts.append(valueText(item));
        return QLatin1Char('{') + parts.join(QLatin1String(", ")) + QLatin1Char('}');
    }
    if (const QString className = objectClass(value); !className.isNull())
        return QLatin1Char('<') + className + QLatin1Char('>');
    if (value.canConvert<QString>())
        return value.toString();
    return QLatin1Char('<') + QString::fromLatin1(value.typeName()) + QLatin1Char('>');
}

QString programPath()
{
    if (QCoreApplication::instance() != nullptr)
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

/// The log's lines, each written as CR LF followed by its items joined by one blank.
class LogText {
public:
    void line(const QStringList &items = {})
    {
        m_text += QLatin1String("\r\n") + items.join(QLatin1Char(' '));
    }
    void field(const char *label, const QVariant &value)
    {
        line({QString::fromLatin1(label), displayValue(value)});
    }
    QString text() const { return m_text; }

private:
    QString m_text;
};

QString logText(ProgramState &state, const RuntimeError &unmasked, int stackStart)
{
    const RuntimeError error = withPasswordsMasked(state, unmasked);
    const QString rule(78, QLatin1Char('-'));
    SystemClock systemClock;
    const Clock &clock = state.services.clock ? *state.services.clock : systemClock;

    LogText log;
    log.line({rule});
    log.line({QLatin1String("ERROR LOG of \"") + programPath() + QLatin1String("\" Date:"),
              DTOC(clock.today()), clock.timeOfDay()});
    log.line();
    log.line(
        {(QString(kRuntimeName) + QStringLiteral(" version")).leftJustified(20) + QLatin1Char(':'),
         QString::fromLatin1(qVersion())});
    log.line({QStringLiteral("Operating system    :"), platformText()});
    log.line({rule});
    log.line({QStringLiteral("oError:args         :")});
    if (!error.args) {
        log.line({QStringLiteral("          -> NIL")});
    } else {
        for (const QVariant &arg : std::as_const(*error.args)) {
            QStringList items{QStringLiteral("         -> VALTYPE:"), valueType(arg)};
            if (valueType(arg) == QLatin1Char('O'))
                items << QStringLiteral("CLASS:") << objectClass(arg);
            else
                items << QStringLiteral("VALUE:") << valueText(arg);
            log.line(items);
        }
    }
    log.field("oError:canDefault   :", error.canDefault);
    log.field("oError:canRetry     :", error.canRetry);
    log.field("oError:canSubstitute:", error.canSubstitute);
    log.field("oError:cargo        :", error.cargo);
    log.field("oError:description  :",
              error.description.isNull() ? QVariant() : QVariant(error.description));
    log.field("oError:filename     :", error.filename);
    log.field("oError:genCode      :", error.genCode);
    log.field("oError:operation    :", error.operation);
    log.field("oError:osCode       :", error.osCode);
    log.field("oError:severity     :", error.severity);
    log.field("oError:subCode      :", error.subCode);
    log.field("oError:subSystem    :",
              error.subSystem.isNull() ? QVariant() : QVariant(error.subSystem));
    log.field("oError:thread       :", error.thread);
    log.field("oError:tries        :", error.tries);
    log.line({rule});
    log.line({QStringLiteral("CALLSTACK:")});
    log.line({rule});
    // Level 2 is the routine in which the error occurred, the first entry of
    // the error's call stack; a higher start skips routines from there.
    for (qsizetype i = std::max(0, stackStart - 2); i < error.callStack.size(); ++i) {
        const StackFrame &frame = error.callStack.at(i);
        if (frame.name.isEmpty())
            break;
        log.line({QStringLiteral("Called from"),
                  frame.name + QLatin1Char('(') + QString::number(frame.line) + QLatin1Char(')')});
    }
    log.line();
    return log.text();
}

/// Writes the log under the first name that can be created; the name used,
/// or a null text when none could.
QString writeFirstFree(const QByteArray &content)
{
    // Two threads failing at once must not interleave their logs.
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    for (int n = 0; n <= 999; ++n) {
        const QString name = n == 0 ? QStringLiteral("RUNERROR.LOG")
                                    : QStringLiteral("RUNERROR.%1").arg(n, 3, 10, QLatin1Char('0'));
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            continue;
        if (file.write(content) == content.size() && file.flush())
            return name;
    }
    return {};
}

} // namespace

QChar valueType(const QVariant &value)
{
    if (!value.isValid())
        return QLatin1Char('U');
    switch (value.typeId()) {
    case QMetaType::Bool:
        return QLatin1Char('L');
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return QLatin1Char('C');
    case QMetaType::QDate:
        return QLatin1Char('D');
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        return QLatin1Char('A');
    default:
        break;
    }
    if (isNumber(value))
        return QLatin1Char('N');
    if (!objectClass(value).isNull())
        return QLatin1Char('O');
    return QLatin1Char('U');
}

QString valueText(const QVariant &value)
{
    return valueForm(value, 0);
}

QString displayValue(const QVariant &value)
{
    return valueForm(value, 10);
}

QString platformText()
{
    return QSysInfo::prettyProductName() + QLatin1Char(' ') + QSysInfo::kernelType() +
           QLatin1Char(' ') + QSysInfo::kernelVersion();
}

void ErrorLog(ProgramState &state, const RuntimeError &error, int stackStart)
{
    const QString name = writeFirstFree(logText(state, error, stackStart).toUtf8());
    Dialogs *dialogs = state.services.dialogs;
    if (name.isNull()) {
        const QString text = QStringLiteral("Unable to open error log file");
        if (dialogs != nullptr)
            dialogs->msgBox(text, kErrorTitle);
        else
            qCCritical(lcFramla, "%s", qPrintable(text));
        endWithError(state);
    }
    const QString text = QLatin1String("Error log was written to the file ") + name;
    if (dialogs != nullptr)
        dialogs->msgBox(text, kErrorTitle);
    else
        qCCritical(lcFramla, "%s", qPrintable(text));
}

} // namespace framla::runtime
