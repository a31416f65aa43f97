#include "busy.h"

#include "runtime/threads.h"

#include <QPointer>
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
        if (own.isValid()) {
            element->setCursor(own.value<QCursor>());
            // Restored once: a later wait over a widget that has given up its
            // own pointer meanwhile must not bring this one back.
            element->setProperty(ownCursor, QVariant());
        } else if (element->cursor().shape() == Qt::WaitCursor) {
            element->unsetCursor();
        }
    }
    // A Qt window draws its controls itself; it has no separate drawing area
    // to treat apart, so a window in cInclusions walks its own children too.
    const QList<QWidget *> children =
        element->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children)
        ShowElem(child, cInclusions, nCursorType);
}

void SHOWCURSOR(QWidget *window, int nCursorType)
{
    QPointer<QWidget> target = window;
    runtime::onUiThreadLater([target, nCursorType] {
        if (target.isNull())
            return;
        const QString cInclusions =
            QStringLiteral("XbpDialog,") + QString::fromLatin1(target->metaObject()->className());
        ShowElem(target.data(), cInclusions, nCursorType);
    });
}

void SHOWBUSY(QWidget *window)
{
    SHOWCURSOR(window, kPointerWait);
}

void SHOWDONE(QWidget *window)
{
    SHOWCURSOR(window, kPointerNormal);
}

} // namespace framla::ui
