#include "batch_window.h"

#include "core/program_state.h"
#include "runtime/dialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace framla::app {

namespace {

enum Column { Picture, File, Code, Record, OnFile, Action, Outcome, Reason, Columns };
constexpr int kThumbnail = 48;

/// A 0..9 control like the image tab's, starting at value.
QSpinBox *adjustmentBox(QWidget *parent, const char *name, int value)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(0, 9);
    box->setValue(value);
    return box;
}

QString yesNo(bool checked, bool yes)
{
    return checked ? (yes ? QStringLiteral("yes") : QStringLiteral("no")) : QString();
}

/// A small picture of a photo, read at a reduced size (a large JPEG is
/// decoded at a fraction of its size).
QImage thumbnailOf(const QString &path)
{
    // Opened without waiting: a FIFO swapped in for a photo never blocks the look-up.
    QFile file;
    if (!batch::openPhoto(path, file))
        return {};
    QImageReader reader(&file);
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(size.scaled(kThumbnail, kThumbnail, Qt::KeepAspectRatio));
    return reader.read();
}

} // namespace

BatchWindow::BatchWindow(ProgramState &state, const runtime::ProcessShell *link, QWidget *parent)
    : QDialog(parent)
    , m_state(state)
    , m_link(link)
{
    setObjectName(QStringLiteral("batchWindow"));
    setWindowTitle(QStringLiteral("File a folder of photos"));
    resize(760, 480);
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QStringLiteral("batchFolder"));
    auto *choose = new QPushButton(QStringLiteral("Folder..."), this);
    m_replace = new QCheckBox(QStringLiteral("Replace pictures on file"), this);
    m_replace->setObjectName(QStringLiteral("batchReplace"));
    // Every photo is filed with the same brightness, gamma and contrast,
    // neutral unless the operator sets others.
    const imaging::Adjustment neutral;
    m_bright = adjustmentBox(this, "batchBright", neutral.bright);
    m_gamma = adjustmentBox(this, "batchGamma", neutral.gamma);
    m_contrast = adjustmentBox(this, "batchContrast", neutral.contrast);
    m_lookUp = new QPushButton(QStringLiteral("Look up"), this);
    m_lookUp->setObjectName(QStringLiteral("batchLookUp"));
    m_table = new QTableWidget(0, Columns, this);
    m_table->setObjectName(QStringLiteral("batchTable"));
    m_table->setHorizontalHeaderLabels({QString(), QStringLiteral("File"), QStringLiteral("Code"),
                                        QStringLiteral("Record"), QStringLiteral("Picture"),
                                        QStringLiteral("Action"), QStringLiteral("Outcome"),
                                        QStringLiteral("Reason")});
    m_table->setIconSize(QSize(kThumbnail, kThumbnail));
    m_table->verticalHeader()->setDefaultSectionSize(kThumbnail + 4);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("batchProgress"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("batchStatus"));
    m_file = new QPushButton(QStringLiteral("File these photos"), this);
    m_file->setObjectName(QStringLiteral("batchFile"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("batchCancel"));

    auto *top = new QHBoxLayout;
    top->addWidget(m_folder, 1);
    top->addWidget(choose);
    top->addWidget(m_replace);
    for (const auto &[text, box] : {std::pair{"Bright", m_bright}, std::pair{"Gamma", m_gamma},
                                    std::pair{"Contrast", m_contrast}}) {
        top->addWidget(new QLabel(QLatin1String(text), this));
        top->addWidget(box);
    }
    top->addWidget(m_lookUp);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_progress, 1);
    bottom->addWidget(m_file);
    bottom->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);
    layout->addLayout(bottom);

    connect(choose, &QPushButton::clicked, this, &BatchWindow::choose);
    connect(m_lookUp, &QPushButton::clicked, this, &BatchWindow::lookUp);
    connect(m_file, &QPushButton::clicked, this, &BatchWindow::fileThem);
    connect(m_cancel, &QPushButton::clicked, this, &BatchWindow::cancel);
    m_file->setEnabled(false);
    m_cancel->setEnabled(false);
}

BatchWindow::~BatchWindow()
{
    cancel();
    join();
}

void BatchWindow::join()
{
    if (m_worker.joinable())
        m_worker.join();
}

void BatchWindow::choose()
{
    const QString folder = m_state.services.dialogs->existingDirectory(
        QStringLiteral("Folder of photos"), m_folder->text());
    if (!folder.isEmpty())
        m_folder->setText(folder);
}

void BatchWindow::setRunning(bool running)
{
    m_lookUp->setEnabled(!running);
    m_replace->setEnabled(!running);
    for (QSpinBox *box : {m_bright, m_gamma, m_contrast})
        box->setEnabled(!running);
    m_folder->setEnabled(!running);
    m_cancel->setEnabled(running);
    m_file->setEnabled(false);
}

void BatchWindow::lookUp()
{
    const QString folder = m_folder->text();
    if (!QDir(folder).exists() || folder.isEmpty()) {
        m_status->setText(QStringLiteral("Choose a folder of photos first."));
        return;
    }
    join();
    batch::BatchOptions options = batch::BatchOptions::of(m_state);
    options.replace = m_replace->isChecked();
    m_run =
        std::make_unique<batch::BatchRun>(m_state, QDir(folder).absolutePath(), options, m_link);
    setRunning(true);
    m_table->setRowCount(0);
    m_status->setText(QStringLiteral("Looking the photos up on the server..."));
    // The look-ups run on a worker: the window stays responsive.
    batch::BatchRun *run = m_run.get();
    m_worker = std::thread([this, run, folder] {
        const QList<batch::PlanRow> rows = run->plan();
        QList<QImage> thumbnails;
        for (const batch::PlanRow &row : rows)
            thumbnails.append(thumbnailOf(QDir(folder).filePath(row.file)));
        QMetaObject::invokeMethod(
            this, [this, rows, thumbnails] { showPlan(rows, thumbnails); }, Qt::QueuedConnection);
    });
}

void BatchWindow::showPlan(const QList<batch::PlanRow> &rows, const QList<QImage> &thumbnails)
{
    join();
    setRunning(false);
    m_rows = rows;
    m_toFile = 0;
    m_table->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const batch::PlanRow &row = rows.at(i);
        auto *picture = new QTableWidgetItem;
        picture->setIcon(QIcon(QPixmap::fromImage(thumbnails.value(i))));
        m_table->setItem(i, Picture, picture);
        const QStringList texts{row.file,
                                row.named.code,
                                yesNo(row.checked, row.recordExists),
                                yesNo(row.checked, row.hasPicture),
                                batch::actionWord(row.action),
                                QString(),
                                row.reason};
        for (int c = 0; c < texts.size(); ++c)
            m_table->setItem(i, File + c, new QTableWidgetItem(texts.at(c)));
        if (row.action == batch::Action::Put || row.action == batch::Action::Replace)
            ++m_toFile;
    }
    m_table->resizeColumnsToContents();
    m_status->setText(QStringLiteral("%1 photos; %2 to put. Nothing is put until you file them.")
                          .arg(rows.size())
                          .arg(m_toFile));
    // A look-up that was cancelled is no plan to file by.
    m_file->setEnabled(m_toFile > 0 && !m_run->cancelled());
    Q_EMIT planned();
}

void BatchWindow::fileThem()
{
    if (!m_run || m_toFile == 0)
        return;
    join();
    setRunning(true);
    m_lookUp->setEnabled(false);
    m_done = 0;
    m_progress->setRange(0, m_toFile);
    m_progress->setValue(0);
    m_clock.start();
    batch::BatchRun *run = m_run.get();
    run->setAdjustment({m_bright->value(), m_gamma->value(), m_contrast->value()});
    run->onStarted = [this](int index) {
        QMetaObject::invokeMethod(
            this, [this, index] { photoStarted(index); }, Qt::QueuedConnection);
    };
    run->onDone = [this](int index, const batch::RowResult &result) {
        QMetaObject::invokeMethod(
            this, [this, index, result] { photoDone(index, result); }, Qt::QueuedConnection);
    };
    const QList<batch::PlanRow> rows = m_rows;
    m_worker = std::thread([this, run, rows] {
        const QList<batch::RowResult> results = run->run(rows);
        QMetaObject::invokeMethod(
            this, [this, results] { showReport(results); }, Qt::QueuedConnection);
    });
}

void BatchWindow::cancel()
{
    if (m_run)
        m_run->cancel();
    m_cancel->setEnabled(false);
}

void BatchWindow::photoStarted(int index)
{
    QString text =
        QStringLiteral("%1 of %2: %3").arg(m_done + 1).arg(m_toFile).arg(m_rows.value(index).file);
    if (m_done > 0) {
        const qint64 left = m_clock.elapsed() / m_done * (m_toFile - m_done) / 1000;
        text += QStringLiteral(" - about %1:%2 left")
                    .arg(left / 60)
                    .arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    m_status->setText(text);
}

void BatchWindow::photoDone(int index, const batch::RowResult &result)
{
    m_progress->setValue(++m_done);
    m_table->setItem(index, Outcome, new QTableWidgetItem(result.outcome));
    m_table->setItem(index, Reason, new QTableWidgetItem(result.reason));
}

void BatchWindow::showReport(const QList<batch::RowResult> &results)
{
    join();
    setRunning(false);
    for (int i = 0; i < results.size() && i < m_table->rowCount(); ++i) {
        m_table->setItem(i, Outcome, new QTableWidgetItem(results.at(i).outcome));
        m_table->setItem(i, Reason, new QTableWidgetItem(results.at(i).reason));
    }
    const QString report = batch::BatchRun::writeReport(m_state.cAppPath, m_rows, results);
    m_status->setText(
        report.isEmpty()
            ? QStringLiteral("The report could not be written in %1.").arg(m_state.cAppPath)
            : QStringLiteral("Done. The report is %1.").arg(report));
    Q_EMIT finished();
}

} // namespace framla::app
