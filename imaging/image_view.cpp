#include "image_view.h"

#include "imaging/picture_reader.h"
#include "runtime/logging.h"

#include <QDir>
#include <QFileInfo>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace framla::imaging {

namespace {

/// The thread metafiles are drawn on, one at a time: a metafile that takes
/// minutes holds one core, not every core, and later ones wait their turn.
QThreadPool &drawingThread()
{
    static QThreadPool *const pool = [] {
        auto *made = new QThreadPool; // lives as long as the program
        made->setMaxThreadCount(1);
        return made;
    }();
    return *pool;
}

} // namespace

/// The drawing area: its repaints show the view's surface and overlay.
class Canvas final : public QWidget {
public:
    Canvas(ImageView *view, QWidget *parent)
        : QWidget(parent)
        , m_view(view)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QPainter painter(this);
        m_view->paintCanvas(painter, event->rect());
    }
    void resizeEvent(QResizeEvent *) override
    {
        if (m_view->ensureSurface())
            m_view->display();
    }

private:
    ImageView *m_view;
};

ImageView::ImageView(QWidget *parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
    m_frame = new QFrame(this);
    m_frame->setFrameShape(QFrame::NoFrame);
    m_canvas = new Canvas(this, m_frame);
    ensureSurface();
}

ImageView::~ImageView()
{
    dropDrawing();
    // A drawing may still use the fonts and the painting engine, which go
    // with the application after the window: let it end first.
    drawingThread().waitForDone();
}

QWidget *ImageView::canvas() const
{
    return m_canvas;
}

void ImageView::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    if (ensureSurface())
        display();
}

bool ImageView::ensureSurface()
{
    // The frame and the canvas always fill the view, so the drawing area is
    // the view's own size. A hidden view gets no resize events, so this is
    // also done before every load and display.
    if (m_frame->geometry() != rect())
        m_frame->setGeometry(rect());
    if (m_canvas->geometry() != m_frame->rect())
        m_canvas->setGeometry(m_frame->rect());
    const QSize size = m_canvas->size();
    const double ratio = m_canvas->devicePixelRatioF();
    if (!m_surface.isNull() && m_surface.deviceIndependentSize().toSize() == size &&
        qFuzzyCompare(m_surface.devicePixelRatio(), ratio))
        return false;
    m_surface = QImage((QSizeF(size) * ratio).toSize().expandedTo({1, 1}), QImage::Format_RGB32);
    m_surface.setDevicePixelRatio(ratio);
    m_surface.fill(palette().color(QPalette::Window));
    return true;
}

QString ImageView::resolve(const QString &cFile) const
{
    if (m_directory.isEmpty() || cFile.isEmpty() || QDir::isAbsolutePath(cFile))
        return cFile;
    return QDir(m_directory).filePath(cFile);
}

bool ImageView::load(const QString &cFile)
{
    const bool builtin = isBuiltinName(cFile);
    const QString path = resolve(cFile);
    if (!builtin && (cFile.isEmpty() || !QFileInfo::exists(path)))
        return false;
    ensureSurface();
    dropDrawing();
    m_mode = kNothing;
    m_file.clear();
    switch (kindOfName(cFile)) {
    case PictureKind::Bitmap: {
        const QString source =
            builtin ? builtinResource(cFile) : QFileInfo(path).absoluteFilePath();
        const QSize canvasSize = m_canvas->size();
        const double ratio = m_canvas->devicePixelRatioF();
        const bool fit = m_autoScale;
        auto decoded = decodeBitmap(source, [&](QSize raw) {
            return neededPixels(raw, fitRect(raw, canvasSize, fit), ratio);
        });
        if (decoded) {
            m_bitmap = std::move(decoded->image);
            m_rawSize = decoded->rawSize;
            m_bitmapSource = source;
            m_triedSize = QSize();
            m_mode = kBitmap;
            m_file = cFile;
        }
        break;
    }
    case PictureKind::Metafile: {
        const std::optional<QByteArray> metafile = readMetafile(QFileInfo(path).absoluteFilePath());
        if (metafile) {
            m_mode = kMetafile;
            m_file = cFile;
            startDrawing(*metafile);
        }
        break;
    }
    case PictureKind::None:
        break;
    }
    return m_mode != kNothing;
}

ImageView &ImageView::display(std::optional<ViewRect> aClip)
{
    ensureSurface();
    const QSize size = m_canvas->size();
    const ViewRect clip =
        aClip.value_or(ViewRect{0, 0, double(size.width() - 1), double(size.height() - 1)});
    const QRectF area =
        toWidget(ViewRect{clip.x1 - 1, clip.y1 - 1, clip.x2 + 1, clip.y2 + 1}, size.height());
    {
        QPainter painter(&m_surface);
        painter.setClipRect(area);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        if (m_mode == kBitmap)
            drawBitmap(painter, size);
        else if (m_mode == kMetafile && !m_drawing.isNull()) {
            // Drawn for the canvas at load; a canvas resized since gets it stretched.
            const QRectF target = m_autoScale
                                      ? QRectF(QPointF(0, 0), QSizeF(size))
                                      : QRectF(QPointF(0, 0), m_drawing.deviceIndependentSize());
            painter.drawImage(target, m_drawing);
        }
    }
    m_canvas->update(area.toAlignedRect());
    return *this;
}

void ImageView::drawBitmap(QPainter &painter, QSize canvasSize)
{
    const ViewRect target = fitRect(m_rawSize, canvasSize, m_autoScale);
    const QSize needed = neededPixels(m_rawSize, target, m_surface.devicePixelRatio());
    // The canvas grew, or natural size was asked for: decode the file again
    // at the larger size when the copy held is too small for it.
    if ((m_bitmap.width() < needed.width() || m_bitmap.height() < needed.height()) &&
        m_bitmap.size() != m_rawSize && needed != m_triedSize &&
        QFileInfo::exists(m_bitmapSource)) {
        m_triedSize = needed; // once per size, even when it cannot be done
        auto larger = decodeBitmap(m_bitmapSource, [&](QSize) { return needed; });
        if (larger && larger->rawSize == m_rawSize)
            m_bitmap = std::move(larger->image);
    }
    painter.drawImage(toWidget(target, canvasSize.height()), m_bitmap, m_bitmap.rect());
}

void ImageView::startDrawing(const QByteArray &metafile)
{
    const QSize size = m_canvas->size();
    const double ratio = m_canvas->devicePixelRatioF();
    const bool fit = m_autoScale;
    m_drawingJob = new QFutureWatcher<QImage>(this);
    connect(m_drawingJob, &QFutureWatcherBase::finished, this, &ImageView::drawingDone);
    // The job gets copies of what it needs and never sees the view.
    m_drawingJob->setFuture(QtConcurrent::run(&drawingThread(), [metafile, size, ratio, fit] {
        return drawMetafile(metafile, size, ratio, fit);
    }));
}

void ImageView::dropDrawing()
{
    m_drawing = QImage();
    if (m_drawingJob == nullptr)
        return;
    m_drawingJob->disconnect(this);
    m_drawingJob->cancel(); // one not started yet is never started
    m_drawingJob->deleteLater();
    m_drawingJob = nullptr;
}

void ImageView::drawingDone()
{
    // Here on the window's thread, for the metafile loaded last.
    QFutureWatcher<QImage> *job = m_drawingJob;
    m_drawingJob = nullptr;
    job->deleteLater();
    const QImage drawing = job->future().resultCount() > 0 ? job->result() : QImage();
    if (drawing.isNull()) {
        qCInfo(runtime::lcFramla).noquote()
            << "picture not readable:" << QFileInfo(resolve(m_file)).absoluteFilePath()
            << "- the metafile could not be drawn";
        m_mode = kNothing;
        m_file.clear();
        return;
    }
    m_drawing = drawing;
    display();
}

void ImageView::setCropBox(std::optional<CropCoords> box)
{
    // Only the overlay changes: the canvas shows the surface again as it is,
    // without decoding or scaling the picture.
    if (box == m_cropBox)
        return;
    m_cropBox = box;
    m_canvas->update();
}

void ImageView::setCrosshairs(const QList<QPoint> &points)
{
    if (points == m_crosshairs)
        return;
    m_crosshairs = points;
    m_canvas->update();
}

QPoint ImageView::viewPos(QPoint canvasPos) const
{
    return toView(canvasPos, m_canvas->height());
}

QPointF ImageView::canvasPos(QPointF viewPos) const
{
    return toWidget(viewPos, m_canvas->height());
}

void ImageView::paintCanvas(QPainter &painter, const QRect &area)
{
    painter.drawImage(area, m_surface,
                      QRectF(QPointF(area.topLeft()) * m_surface.devicePixelRatio(),
                             QSizeF(area.size()) * m_surface.devicePixelRatio()));
    paintOverlay(painter);
}

void ImageView::paintOverlay(QPainter &painter)
{
    if (!m_cropBox && m_crosshairs.isEmpty())
        return;
    const int width = m_canvas->width();
    const int height = m_canvas->height();
    QPainterPath marks;
    for (const QPoint &point : std::as_const(m_crosshairs)) {
        const QPointF at = toWidget(QPointF(point), height);
        marks.moveTo(at.x(), 0);
        marks.lineTo(at.x(), height);
        marks.moveTo(0, at.y());
        marks.lineTo(width, at.y());
    }
    if (m_cropBox) {
        // Drawn at the nearest whole pixels; the fractions the proportion
        // rule leaves stay in the marks for the crop.
        const QPoint a = m_cropBox->at(0).toPoint();
        const QPoint b = m_cropBox->at(1).toPoint();
        marks.addRect(toWidget(ViewRect{double(qMin(a.x(), b.x())), double(qMin(a.y(), b.y())),
                                        double(qMax(a.x(), b.x())), double(qMax(a.y(), b.y()))},
                               height));
    }
    const ui::LineAttributes line = m_ps.lineAttributes();
    const QPen pen = m_ps.pen();
    painter.setBrush(Qt::NoBrush);
    painter.strokePath(marks, pen);
    if (line.mixMode == ui::kMixInvert && pen.style() != Qt::NoPen) {
        // The inverting mix mode is there so that the marks show on any
        // picture. Painted over the picture, a line in the pen's colour with
        // dashes of the opposite shade does that, also on mid-grey where an
        // inverted line would vanish, and leaves the picture as it is.
        QPen dashes = pen;
        dashes.setColor(pen.color().lightness() < 128 ? Qt::white : Qt::black);
        dashes.setCapStyle(Qt::FlatCap);
        dashes.setDashPattern({2, 2});
        painter.strokePath(marks, dashes);
    }
}

} // namespace framla::imaging
