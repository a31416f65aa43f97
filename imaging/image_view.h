#pragma once

#include "core/program_state.h"
#include "imaging/geometry.h"
#include "ui/line_attr.h"

#include <QFrame>
#include <QFutureWatcher>
#include <QImage>
#include <QList>
#include <QPoint>

#include <optional>

namespace framla::imaging {

class Canvas;

/// Shows one picture, scaled to fit, as the two picture views of the image
/// tab do. Pictures are drawn onto a surface that keeps what was drawn
/// before: display() never erases, so the parts of the canvas that a new
/// picture does not cover keep the previous picture. Repaints show that
/// surface with the overlay (crop box, crosshairs) painted over it; the
/// overlay never changes the surface.
///
/// A metafile can take minutes to draw whatever its size, so it is drawn
/// once, at the canvas's size, on a thread of its own while the window goes
/// on; when the drawing is done it is put on the canvas as display() would.
class ImageView final : public QFrame {
    Q_OBJECT
public:
    /// Nothing shown, a bitmap picture, a metafile picture.
    enum Mode { kNothing = 0, kBitmap = 1, kMetafile = 2 };

    explicit ImageView(QWidget *parent = nullptr);
    ~ImageView() override;

    /// Loads a picture without drawing it. "wait.gif" and "noimage.gif" are
    /// the built-in pictures and never read from disk. A missing file changes
    /// nothing and gives false; a name without an accepted extension or a
    /// file that cannot be read leaves the view with no picture (kNothing).
    /// A metafile is accepted on its header and drawn aside; one that turns
    /// out not to convert then leaves the view with no picture.
    bool load(const QString &cFile);

    /// Where a picture named without a directory ("scratch.jpg") is looked
    /// for: the program's directory. Unset, the current directory.
    void setWorkingDirectory(const QString &directory) { m_directory = directory; }
    /// The file a name stands for, as load reads it.
    QString resolve(const QString &cFile) const;

    /// Draws the loaded picture over what is on the canvas, within aClip
    /// (view coordinates) widened by one unit, or over the whole canvas.
    ImageView &display(std::optional<ViewRect> aClip = std::nullopt);

    /// The true pixel size of the last bitmap picture loaded, read from the
    /// file (the view may hold a smaller copy); {0, 0} before the first one.
    QSize rawSize() const { return m_rawSize; }

    /// What the view holds now.
    Mode mode() const { return m_mode; }
    /// The file of the picture shown; "" when none.
    QString file() const { return m_file; }
    bool autoScale() const { return m_autoScale; }
    void setAutoScale(bool on) { m_autoScale = on; }

    /// The inner frame and the drawing area inside it (same size as the view).
    QFrame *frame() const { return m_frame; }
    QWidget *canvas() const;
    /// The drawing state whose line attributes the overlay uses.
    ui::PresSpace &presSpace() { return m_ps; }

    /// The crop box drawn over the picture, in view coordinates; nothing
    /// draws no box. It stays drawn across repaints until changed. Changing
    /// the box or the crosshairs only repaints the canvas from its surface:
    /// the picture is neither decoded nor scaled again.
    void setCropBox(std::optional<CropCoords> box);
    std::optional<CropCoords> cropBox() const { return m_cropBox; }
    /// Crosshairs through the given view points, over the whole canvas.
    void setCrosshairs(const QList<QPoint> &points);
    QList<QPoint> crosshairs() const { return m_crosshairs; }

    /// A pointer position on the canvas in view coordinates, and back.
    QPoint viewPos(QPoint canvasPos) const;
    QPointF canvasPos(QPointF viewPos) const;

    /// What display() has drawn so far, without the overlay.
    QImage surface() const { return m_surface; }
    /// Bytes held by the decoded bitmap.
    qsizetype bitmapBytes() const { return m_bitmap.sizeInBytes(); }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class Canvas;
    void paintCanvas(QPainter &painter, const QRect &area);
    /// Keeps the canvas the view's size; true when the surface was made anew.
    bool ensureSurface();
    void drawBitmap(QPainter &painter, QSize canvasSize);
    void paintOverlay(QPainter &painter);
    /// Starts drawing a metafile aside, for the canvas as it is now.
    void startDrawing(const QByteArray &metafile);
    /// Forgets a drawing under way: its result, when it comes, is dropped.
    void dropDrawing();
    void drawingDone();

    QFrame *m_frame = nullptr;
    Canvas *m_canvas = nullptr;
    ui::PresSpace m_ps;
    QImage m_surface;
    QImage m_bitmap;        ///< the last bitmap loaded, possibly decoded smaller
    QString m_bitmapSource; ///< where it came from, to decode again when larger is needed
    QSize m_rawSize{0, 0};  ///< its true pixel size
    QSize m_triedSize;      ///< the last larger size asked of the file
    QImage m_drawing;       ///< the metafile as drawn aside; null until it is done
    QFutureWatcher<QImage> *m_drawingJob = nullptr; ///< the drawing under way
    Mode m_mode = kNothing;
    bool m_autoScale = true;
    QString m_file;
    QString m_directory;
    std::optional<CropCoords> m_cropBox;
    QList<QPoint> m_crosshairs;
};

} // namespace framla::imaging
