#include "busy.h"

#include "runtime/threads.h"

#include <QPointer>
#include <QWidget>

namespace framla::ui {

void ShowElem(QWidget *element, int nCursorType)
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
    // Every child takes the shape too: a Qt window has no drawing area of
    // its own to treat apart from its controls.
    const QList<QWidget *> children =
        element->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children)
        ShowElem(child, nCursorType);
}

void SHOWCURSOR(QWidget *window, int nCursorType)
{
    QPointer<QWidget> target = window;
    runtime::onUiThreadLater([target, nCursorType] {
        if (target.isNull())
            return;
        ShowElem(target.data(), nCursorType);
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
