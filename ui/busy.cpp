#include "busy.h"

#include "core/program_state.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QThread>
#include <QWidget>

namespace framla::ui {

void ShowElem(QWidget *element, const QString &cInclusions, int nCursorType)
{
    if (element == nullptr)
        return;
    // The normal pointer is each widget's own (an arrow, an I-beam over text):
    // it is kept aside while the wait pointer shows and put back afterwards.
    static const char *const ownCursor = "framlaOwnCursor";
    if (nCursorType == kPointerWait) {
        if (element->testAttribute(Qt::WA_SetCursor) && element->cursor().shape() != Qt::WaitCursor)
            element->setProperty(ownCursor, QVariant::fromValue(element->cursor()));
        element->setCursor(Qt::WaitCursor);
    } else {
        const QVariant own = element->property(ownCursor);
        if (own.isValid())
            element->setCursor(own.value<QCursor>());
        else if (element->cursor().shape() == Qt::WaitCursor)
            element->unsetCursor();
    }
    // A Qt window draws its controls itself; it has no separate drawing area
    // to treat apart, so a window in cInclusions walks its own children too.
    const QList<QWidget *> children =
        element->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children)
        ShowElem(child, cInclusions, nCursorType);
}

void SHOWCURSOR(ProgramState &state, QWidget *window, int nCursorType)
{
    QPointer<QWidget> target = window != nullptr ? window : state.oStartingDlg;
    auto walk = [target, nCursorType] {
        if (target.isNull())
            return;
        const QString cInclusions =
            QStringLiteral("XbpDialog,") + QString::fromLatin1(target->metaObject()->className());
        ShowElem(target.data(), cInclusions, nCursorType);
    };
    auto *app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() != app->thread())
        QMetaObject::invokeMethod(app, walk, Qt::QueuedConnection);
    else
        walk();
}

void SHOWBUSY(ProgramState &state, QWidget *window)
{
    SHOWCURSOR(state, window, kPointerWait);
}

void SHOWDONE(ProgramState &state, QWidget *window)
{
    SHOWCURSOR(state, window, kPointerNormal);
}

} // namespace framla::ui
