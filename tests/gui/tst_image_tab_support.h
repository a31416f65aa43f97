#pragma once

// The image tab's handlers on the real window, as the program runs them:
// start-up with scripted dialogs, shell and clock, a server in memory, fake
// image tools on the search path, the per-event chain installed and calling
// the image tab's handlers. The tools make what the real ones would: the crop
// writes the preview, the capture writes its picture.

#include "app/event_chain.h"
#include "app/image_tab.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/window_display.h"
#include "app/window_start.h"
#include "imaging/image_view.h"
#include "runtime/files.h"
#include "support/fake_server.h"
#include "support/scripted_world.h"
#include "support/tee_display.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>

namespace framla::test {

class ImageTabRig {
public:
    ScriptedWorld world;
    std::unique_ptr<FakeServer> server;
    RecordingDisplay record;
    std::unique_ptr<app::MainWindow> window;

    ImageTabRig() = default;
    ~ImageTabRig() { close(); }
    ImageTabRig(const ImageTabRig &) = delete;
    ImageTabRig &operator=(const ImageTabRig &) = delete;

    /// Start-up as the program runs it; beforeWindow may change the state
    /// first. toolsFound puts fake image tools on the search path.
    void open(const std::function<void(ProgramState &)> &beforeWindow = {}, bool toolsFound = true)
    {
        close();
        world.reset();
        record = {};
        server = std::make_unique<FakeServer>(world.dir->path());
        world.shell.onRun = [this](const runtime::ToolCommand &command) { return run(command); };
        m_tools = std::make_unique<QTemporaryDir>();
        if (toolsFound) {
            for (const char *tool : {"convert", "mogrify"}) {
                QFile file(m_tools->filePath(QLatin1String(tool)));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            }
        }
        qputenv("PATH", m_tools->path().toLocal8Bit());

        QDir::setCurrent(world.dir->path());
        ProgramState &state = world.state;
        app::startBeforeWindow(state, {QStringLiteral("shop")});
        if (beforeWindow)
            beforeWindow(state);
        window = std::make_unique<app::MainWindow>(state);
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        m_display = std::make_unique<app::WindowDisplay>(state, *window);
        m_tee = std::make_unique<TeeDisplay>(*m_display, record);
        m_chain = std::make_unique<app::EventChain>(state, *window);
        m_chain->install();
        app::openWindow(state, *window, *m_tee);
        m_tab = std::make_unique<app::ImageTab>(state, *window, *m_tee);
        m_chain->setImageTabActions(m_tab.get());
        world.shell.commands.clear();
    }

    void close()
    {
        // The chain refers to the handlers and the window: it goes first.
        m_chain.reset();
        m_tab.reset();
        m_tee.reset();
        m_display.reset();
        window.reset();
        if (m_tools) {
            qputenv("PATH", m_path);
            m_tools.reset();
        }
    }

    ProgramState &state() { return world.state; }
    const app::ImageTabControls &controls() const { return window->imageTab(); }
    template<typename T = QWidget> T *control(const QString &name) const
    {
        return qobject_cast<T *>(window->control(name));
    }

    /// A picture file in the program's directory; its path.
    QString picture(const QString &name, QSize size = {80, 60}) const
    {
        const QString path = QDir::isAbsolutePath(name) ? name : world.file(name);
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        image.save(path);
        return path;
    }

    /// The command lines run, as logged.
    QStringList lines() const
    {
        QStringList out;
        for (const runtime::ToolCommand &command : world.shell.commands)
            out << command.text();
        return out;
    }

    /// The texts of the message and confirm boxes shown, in order.
    QStringList messages() const
    {
        QStringList out;
        for (const ScriptedDialogs::Box &box : world.dialogs.boxes) {
            if (box.kind != ScriptedDialogs::Box::OpenFile)
                out << box.text;
        }
        return out;
    }

    /// The programs run, in order.
    QStringList programs() const
    {
        QStringList out;
        for (const runtime::ToolCommand &command : world.shell.commands)
            out << command.executableName();
        return out;
    }

    /// Chooses a source with "Find", the file dialog answering with path.
    void find(const QString &path)
    {
        world.dialogs.files.enqueue(path);
        QTest::mouseClick(controls().oXbpBrowse, Qt::LeftButton);
    }

    /// A left or right press on a control, at a position with y upward.
    static void press(QWidget *control, Qt::MouseButton button, QPoint pos)
    {
        QTest::mouseClick(control, button, {}, QPoint(pos.x(), control->height() - pos.y()));
    }

private:
    runtime::RunOutcome run(const runtime::ToolCommand &command)
    {
        const QString name = command.executableName();
        runtime::RunOutcome outcome = finishedRun();
        if (name == QStringLiteral("convert"))
            picture(command.args.last(), {40, 30});
        else if (name == QStringLiteral("commandcam"))
            picture(QStringLiteral("image.bmp"), {64, 48});
        else if (name != QStringLiteral("mogrify"))
            return server->handle(command);
        return outcome;
    }

    std::unique_ptr<QTemporaryDir> m_tools;
    QByteArray m_path = qgetenv("PATH");
    std::unique_ptr<app::WindowDisplay> m_display;
    std::unique_ptr<TeeDisplay> m_tee;
    std::unique_ptr<app::EventChain> m_chain;
    std::unique_ptr<app::ImageTab> m_tab;
};

} // namespace framla::test
