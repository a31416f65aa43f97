// Pictures from the operator's disk or the server: any bytes as a picture
// file, read as a bitmap (decodeBitmap, which measures the header before it
// decodes) and as an enhanced metafile (readMetafile, then drawMetafile).
// What is decoded must be within the pixel budget; a bomb that only
// allocates stops the run at its memory limit once it passes it.
#include "fuzz_input.h"
#include "imaging/picture_reader.h"

#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

using namespace framla;
using fuzz::require;

namespace {

std::string g_dir;
QString g_path;

/// What the screen asks for: at most 64 x 64, the picture's shape kept, and
/// at least a pixel each way (as neededPixels gives).
QSize small(QSize raw)
{
    if (raw.width() <= 64 && raw.height() <= 64)
        return raw;
    return raw.scaled(64, 64, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

} // namespace

/// Not ours to free: libemf2svg keeps a few bytes of every metafile it
/// converts, and fontconfig, which it asks for the fonts of a text, a pattern.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libemf2svg.so\nleak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Drawing a metafile needs fonts, and so an application; no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_picture_reader";
    static char *argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
    // Every refusal is logged, and Qt's decoders warn on damaged data.
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    g_dir = fuzz::scratchBase() + "/framla-fuzz-picture-XXXXXX";
    require(::mkdtemp(g_dir.data()) != nullptr, "a scratch directory");
    g_path = QString::fromStdString(g_dir + "/picture");
    std::atexit([] {
        ::unlink((g_dir + "/picture").c_str());
        ::rmdir(g_dir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    {
        QFile file(g_path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(bytes) == bytes.size(),
                "the picture file written");
    }

    if (const auto bitmap = imaging::decodeBitmap(g_path, small)) {
        const QSize raw = bitmap->rawSize;
        require(raw.isValid() && qint64(raw.width()) * raw.height() <= imaging::kMaxPicturePixels,
                "a decoded picture's header is within the budget");
        // Not "no larger than its header": a damaged GIF decodes larger than
        // its header says, within Qt's own limit.
        const QImage &image = bitmap->image;
        require(qint64(image.width()) * image.height() <= imaging::kMaxPicturePixels,
                "a decoded picture is within the budget");
    }

    const auto metafile = imaging::readMetafile(g_path);
    require(!metafile || imaging::metafileRefusal(*metafile).isEmpty(),
            "a metafile read is one that may be drawn");
    require(metafile || bytes.size() > imaging::kMaxMetafileBytes ||
                !imaging::metafileRefusal(bytes).isEmpty(),
            "a metafile is refused only for its size or its header");
    // Drawn off the main thread, as the program draws metafiles: the fonts a
    // text needs are cached for the thread and let go when it ends.
    if (metafile) {
        std::thread([&] {
            for (const bool fit : {true, false}) {
                const QImage drawn = imaging::drawMetafile(*metafile, QSize(48, 32), 1.0, fit);
                require(drawn.isNull() || drawn.size() == QSize(48, 32),
                        "a metafile is drawn at the size asked");
            }
        }).join();
    }
    return 0;
}
