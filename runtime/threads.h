#pragma once

#include <QCoreApplication>
#include <QThread>

#include <utility>

namespace framla::runtime {

/// True on the thread that runs the window; also when there is no
/// application object at all (plain unit tests run on one thread).
inline bool onUiThread()
{
    const auto *app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

/// Runs fn on the UI thread: at once when called there, else queued to it,
/// so that the changes of one worker arrive in the order it made them.
template<typename Fn> void onUiThreadLater(Fn fn)
{
    if (onUiThread())
        fn();
    else
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn),
                                  Qt::QueuedConnection);
}

} // namespace framla::runtime
