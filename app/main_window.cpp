#include "main_window.h"

#include "app/window_layout.h"
#include "core/program_state.h"
#include "imaging/image_view.h"
#include "imaging/picture_reader.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QTabBar>

namespace framla::app {

using layout::ControlRow;
using layout::Flag;
using layout::Kind;

namespace {

/// Height of the row of tab headers along the top of the pages.
constexpr int kHeaderHeight = 22;

/// The tab headers keep fixed shares of the header row, whatever their
/// captions need.
class HeaderBar final : public QTabBar {
public:
    HeaderBar(int rowWidth, QWidget *parent)
        : QTabBar(parent)
        , m_widths(layout::tabHeaderWidths(rowWidth))
    {
        setExpanding(false);
        setUsesScrollButtons(false);
        setDrawBase(false);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    QSize tabSizeHint(int index) const override
    {
        return {index == 0 ? m_widths.image : m_widths.settings, kHeaderHeight};
    }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }

    // The captions are centred on the whole header, without the style's
    // margins, so that "Settings & Instructions" fits its narrow share.
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        for (int i = 0; i < count(); ++i) {
            QStyleOptionTab option;
            initStyleOption(&option, i);
            painter.drawControl(QStyle::CE_TabBarTabShape, option);
            painter.drawItemText(option.rect, Qt::AlignCenter | Qt::TextShowMnemonic,
                                 option.palette, isTabEnabled(i), option.text,
                                 QPalette::WindowText);
        }
    }

private:
    layout::TabHeaderWidths m_widths;
};

/// Multi-line edits show lines that the program joins with CR LF.
QString forTextEdit(const QString &text)
{
    QString shown = text;
    return shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

Qt::Alignment alignment(layout::Flags flags)
{
    Qt::Alignment result = flags.testFlag(Flag::AlignRight)     ? Qt::AlignRight
                           : flags.testFlag(Flag::AlignHCenter) ? Qt::AlignHCenter
                                                                : Qt::AlignLeft;
    return result | (flags.testFlag(Flag::AlignVCenter) ? Qt::AlignVCenter : Qt::AlignTop);
}

void setColourRole(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

/// Moves the focus on to the next control that takes it, as a full
/// one-character field does.
void focusNextAfter(QWidget *widget)
{
    for (QWidget *next = widget->nextInFocusChain(); next != widget;
         next = next->nextInFocusChain()) {
        if (next->focusPolicy() != Qt::NoFocus && next->isEnabled() && next->isVisible()) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

/// A caption whose line is taller than its label (a 16-pixel face in a
/// 16-pixel box) would lose the feet of its descenders: its line box grows
/// upwards instead, into the empty room above the capitals, and the line is
/// centred in it. Qt takes no negative contents margins, so a negative margin
/// grows the box on every side, the indent takes it back on the aligned side
/// and a bottom contents margin takes it back below.
void fitLine(QLabel *label)
{
    const int over = qCeil(QFontMetricsF(label->font()).height()) - label->height();
    if (over <= 0)
        return;
    label->setAlignment((label->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
    label->setContentsMargins(0, 0, 0, over);
    label->setMargin(-over);
    label->setIndent(over);
}

/// A caption set at run time that is wider than its label is drawn smaller,
/// down to a size still easily read, and shortened in the middle beyond that.
void fitCaption(QLabel *label)
{
    constexpr int kSmallestPixels = 16;
    QFont font = label->font();
    const int room = label->contentsRect().width();
    while (font.pixelSize() > kSmallestPixels &&
           QFontMetrics(font).horizontalAdvance(label->text()) > room)
        font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
    label->setText(QFontMetrics(font).elidedText(label->text(), Qt::ElideMiddle, room));
}

/// Creates one control of a layout table in its parent.
QWidget *createControl(const ControlRow &row, QWidget *parent)
{
    const QString text = QString::fromLatin1(row.text);
    QWidget *widget = nullptr;
    bool takesFocus = true;
    switch (row.kind) {
    case Kind::Label: {
        auto *label = new QLabel(text, parent);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(alignment(row.flags));
        widget = label;
        takesFocus = false;
        break;
    }
    case Kind::Frame: {
        auto *frame = new QFrame(parent);
        frame->setFrameShape(QFrame::NoFrame);
        widget = frame;
        takesFocus = false;
        break;
    }
    case Kind::GroupBox:
        widget = new QGroupBox(text, parent);
        takesFocus = false;
        break;
    case Kind::PushButton: {
        auto *button = new QPushButton(text, parent);
        // Enter belongs to the field that has the focus, never to a default button.
        button->setAutoDefault(false);
        widget = button;
        break;
    }
    case Kind::LineEdit: {
        auto *edit = new QLineEdit(text, parent);
        if (row.maxLength > 0)
            edit->setMaxLength(row.maxLength);
        if (row.flags.testFlag(Flag::Password))
            edit->setEchoMode(QLineEdit::Password);
        if (row.flags.testFlag(Flag::AutoTab)) {
            QObject::connect(edit, &QLineEdit::textEdited, edit, [edit] {
                if (edit->text().size() >= edit->maxLength())
                    focusNextAfter(edit);
            });
        }
        widget = edit;
        break;
    }
    case Kind::TextEdit: {
        auto *edit = new QPlainTextEdit(forTextEdit(text), parent);
        edit->setReadOnly(row.flags.testFlag(Flag::ReadOnly));
        edit->setVerticalScrollBarPolicy(row.flags.testFlag(Flag::ScrollAsNeeded)
                                             ? Qt::ScrollBarAsNeeded
                                             : Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        if (row.flags.testFlag(Flag::NoWrap))
            edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        if (row.flags.testFlag(Flag::Borderless)) {
            edit->setFrameShape(QFrame::NoFrame);
            edit->document()->setDocumentMargin(1);
        }
        widget = edit;
        break;
    }
    case Kind::CheckBox:
        widget = new QCheckBox(text, parent);
        break;
    case Kind::RadioButton:
        widget = new QRadioButton(text, parent);
        break;
    case Kind::SpinButton: {
        auto *spin = new QSpinBox(parent);
        spin->setRange(0, 9);
        spin->setValue(text.toInt());
        widget = spin;
        break;
    }
    case Kind::ImageView:
        widget = new imaging::ImageView(parent);
        // A picture box: an empty view shows the edit fields' white rather
        // than vanishing into the page. Set before the view takes its size,
        // which is when it paints its surface.
        setColourRole(widget, QPalette::Window, widget->palette().color(QPalette::Base));
        takesFocus = false;
        break;
    }

    widget->setObjectName(QLatin1String(row.name));
    widget->setGeometry(layout::toQtRect(parent->height(), row.pos, row.size));
    widget->setFont(layout::font(row.font, parent->font()));
    if (auto *label = qobject_cast<QLabel *>(widget))
        fitLine(label);
    widget->setFocusPolicy(row.flags.testFlag(Flag::TabStop) ? Qt::StrongFocus
                           : takesFocus                      ? Qt::ClickFocus
                                                             : Qt::NoFocus);
    widget->setEnabled(!row.flags.testFlag(Flag::Disabled));
    if (row.flags.testFlag(Flag::Hidden))
        widget->hide();

    switch (row.colour) {
    case layout::Colour::DarkBlue:
    case layout::Colour::DarkGrey:
        setColourRole(widget, QPalette::WindowText, layout::colour(row.colour));
        break;
    case layout::Colour::Yellow:
        setColourRole(widget, QPalette::Base, layout::colour(row.colour));
        break;
    case layout::Colour::White:
        // A white box with a dark-blue caption.
        widget->setAutoFillBackground(true);
        setColourRole(widget, QPalette::Window, layout::colour(layout::Colour::White));
        setColourRole(widget, QPalette::WindowText, layout::colour(layout::Colour::DarkBlue));
        break;
    case layout::Colour::PaleGrey:
    case layout::Colour::System:
        break;
    }
    return widget;
}

template<typename T> T *child(const QWidget *page, const char *name)
{
    T *widget = page->findChild<T *>(QLatin1String(name));
    Q_ASSERT_X(widget != nullptr, "MainWindow", name);
    return widget;
}

} // namespace

MainWindow::MainWindow(const ProgramState &state, QWidget *parent)
    : QDialog(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("oStartingDlg"));
    setWindowFlags(layout::dialogWindowFlags(layout::mogrifyMarkerExists()));
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    setWindowIcon(imaging::windowIcon());
    setFixedSize(m_state.nDlgWidth, m_state.nDlgHeight);
    setColourRole(this, QPalette::Window, layout::colour(layout::Colour::PaleGrey));
    setFont(layout::font({8, "Arial"}, font()));
}

QWidget *MainWindow::buildPage(const char *name, QSize size, QWidget *pageParent)
{
    auto *page = new QWidget(pageParent);
    page->setObjectName(QLatin1String(name));
    page->hide();
    page->setGeometry(layout::toQtRect(pageParent->height(), {0, 0}, size));
    page->setAutoFillBackground(true);
    setColourRole(page, QPalette::Window, page->palette().color(QPalette::Button));
    page->setFont(layout::font({12, "Times New Roman"}, font()));
    return page;
}

void MainWindow::buildPages()
{
    Q_ASSERT(m_imagePage == nullptr);
    const int width = m_state.nDlgWidth;
    const int height = m_state.nDlgHeight;

    // The settings tab first, then the image tab, each control in table
    // order, which is also the order the Tab key follows.
    m_settingsPage = buildPage("oSettingsTab", layout::settingsPageSize(width, height), this);
    m_imagePage = buildPage("oImageTab", layout::imagePageSize(width, height), this);
    const bool withQuit = layout::hasQuitButton(layout::mogrifyMarkerExists());
    const std::pair<QWidget *, std::span<const ControlRow>> pages[] = {
        {m_settingsPage, layout::settingsTabControls()},
        {m_imagePage, layout::imageTabControls()},
    };
    for (const auto &[page, table] : pages) {
        for (const ControlRow &row : table) {
            if (!withQuit && qstrcmp(row.name, layout::kQuitButtonName) == 0)
                continue;
            QWidget *parent = *row.parent == '\0' ? page : child<QWidget>(page, row.parent);
            createControl(row, parent);
        }
    }

    // The header row lies along the top edge of the pages, over them.
    const QRect pageRect = m_settingsPage->geometry();
    m_tabBar = new HeaderBar(pageRect.width(), this);
    m_tabBar->setObjectName(QStringLiteral("tabHeaders"));
    m_tabBar->setFont(m_imagePage->font());
    // The headers in the pages' button face, so that the one in front runs
    // into its page, not in the dialog's grey.
    m_tabBar->setPalette(m_imagePage->palette());
    m_tabBar->addTab(QString());
    m_tabBar->addTab(QString::fromLatin1(layout::kSettingsTabCaption));
    showDatabasePath();
    m_tabBar->setGeometry(pageRect.x(), pageRect.y(), pageRect.width(), kHeaderHeight);
    m_tabBar->show();
    connect(m_tabBar, &QTabBar::currentChanged, this,
            [this](int index) { showPage(index == 0 ? Page::Image : Page::Settings); });

    collectControls();
    setInitialContent();
    showPage(Page::Image);
    m_image.oXbpGetCd->setFocus(Qt::OtherFocusReason);
}

void MainWindow::showDatabasePath()
{
    if (m_tabBar == nullptr)
        return;
    QString title = layout::imageTabTitle(m_state.login.cPath);
    m_tabBar->setTabText(0, title.replace(QLatin1Char('&'), QLatin1String("&&")));
}

void MainWindow::collectControls()
{
    const QWidget *s = m_settingsPage;
    m_settings.title = child<QLabel>(s, "settingsTitle");
    m_settings.oXbpAddress = child<QLineEdit>(s, "oXbpAddress");
    m_settings.oXbpPort = child<QLineEdit>(s, "oXbpPort");
    m_settings.oXbpPath = child<QLineEdit>(s, "oXbpPath");
    m_settings.oXbpUser = child<QLineEdit>(s, "oXbpUser");
    m_settings.oXbpPass = child<QLineEdit>(s, "oXbpPass");
    m_settings.oXbpSave = child<QPushButton>(s, "oXbpSave");
    m_settings.oXbpCamsTxt = child<QPlainTextEdit>(s, "oXbpCamsTxt");
    m_settings.cameraRefresh = child<QPushButton>(s, "cameraRefresh");
    m_settings.backToImage = child<QPushButton>(s, "backToImage");
    m_settings.helpButtons = {
        child<QPushButton>(s, "helpTransfer"), child<QPushButton>(s, "helpInventory"),
        child<QPushButton>(s, "helpSuppliers"), child<QPushButton>(s, "helpCustomers"),
        child<QPushButton>(s, "helpRepairs")};
    m_settings.cropRadios = {child<QRadioButton>(s, "cropFree"),
                             child<QRadioButton>(s, "cropRatio43"),
                             child<QRadioButton>(s, "cropSquare")};
    m_settings.deviceField = child<QLineEdit>(s, "deviceField");
    m_settings.delayField = child<QLineEdit>(s, "delayField");
    m_settings.previewBox = child<QCheckBox>(s, "previewBox");
    m_settings.oXbpName = child<QCheckBox>(s, "oXbpName");
    m_settings.aboutFramla = child<QPushButton>(s, "aboutFramla");

    const QWidget *i = m_imagePage;
    m_image.oStat = child<imaging::ImageView>(i, "oStat");
    m_image.oStat2 = child<imaging::ImageView>(i, "oStat2");
    m_image.toSettings = child<QPushButton>(i, "toSettings");
    m_image.modeRadios = {child<QRadioButton>(i, "modeInventory"),
                          child<QRadioButton>(i, "modeCustSup"),
                          child<QRadioButton>(i, "modeRepairs")};
    m_image.oXbpGetCd = child<QLineEdit>(i, "oXbpGetCd");
    m_image.oXbpShowTxt = child<QPlainTextEdit>(i, "oXbpShowTxt");
    m_image.oXbpShowExisting = child<QPushButton>(i, "oXbpShowExisting");
    m_image.oXbpImageFile = child<QLineEdit>(i, "oXbpImageFile");
    m_image.oXbpGrab = child<QPushButton>(i, "oXbpGrab");
    m_image.oXbpBrowse = child<QPushButton>(i, "oXbpBrowse");
    m_image.oXbpBrowData = child<QPushButton>(i, "oXbpBrowData");
    m_image.oXbpCrop = child<QPushButton>(i, "oXbpCrop");
    m_image.oXbpBright = child<QSpinBox>(i, "oXbpBright");
    m_image.oXbpGamma = child<QSpinBox>(i, "oXbpGamma");
    m_image.oXbpContrast = child<QSpinBox>(i, "oXbpContrast");
    m_image.oXbpRotate = child<QPushButton>(i, "oXbpRotate");
    m_image.oXbpDelSrc = child<QPushButton>(i, "oXbpDelSrc");
    m_image.switchView = child<QPushButton>(i, "switchView");
    m_image.oXbpDelTarg = child<QPushButton>(i, "oXbpDelTarg");
    m_image.oXbpCpTarg = child<QPushButton>(i, "oXbpCpTarg");
    m_image.oXbpTargGrp = child<QLabel>(i, "oXbpTargGrp");
    m_image.oXbpInstruct = child<QLabel>(i, "oXbpInstruct");
    m_image.oXbpTargName = child<QLineEdit>(i, "oXbpTargName");
    m_image.oXbpPut = child<QPushButton>(i, "oXbpPut");
    m_image.sizeRadios = {child<QRadioButton>(i, "sizeS"), child<QRadioButton>(i, "sizeM"),
                          child<QRadioButton>(i, "sizeL")};
    m_image.quit = i->findChild<QPushButton *>(QLatin1String(layout::kQuitButtonName));
}

void MainWindow::setInitialContent()
{
    const ProgramState &s = m_state;
    // The working files the views show are named alone, in the program's directory.
    m_image.oStat->setWorkingDirectory(s.cAppPath);
    m_image.oStat2->setWorkingDirectory(s.cAppPath);
    m_settings.title->setText(layout::settingsTitle(s.cCfgFileNm));
    fitCaption(m_settings.title);
    m_settings.oXbpAddress->setText(s.login.cAddress);
    m_settings.oXbpPort->setText(s.login.cPort);
    m_settings.oXbpPath->setText(s.login.cPath);
    m_settings.oXbpUser->setText(s.login.cUser);
    m_settings.oXbpPass->setText(s.login.cPass);
    m_settings.deviceField->setText(QString::number(s.nDevNum));
    m_settings.delayField->setText(QString::number(s.nDelaySecs));
    m_settings.previewBox->setChecked(s.lPreview);
    m_settings.oXbpName->setChecked(layout::useFilenameTicked(s.aLocalCfg));
    if (const int crop = layout::cropRadioIndex(s.aLocalCfg); crop >= 0)
        m_settings.cropRadios.at(crop)->setChecked(true);

    m_image.oXbpShowTxt->setPlainText(
        forTextEdit(layout::welcomeText(qEnvironmentVariable("FRAMLA_DEMO_CODE"))));
    const int mode = layout::modeRadioIndex(s.aLocalCfg);
    m_image.modeRadios.at(mode)->setChecked(true);
    // The target name is the operator's only in Cust/Sup mode.
    m_image.oXbpTargName->setEnabled(mode == 1);
    if (mode == 1)
        m_image.oXbpTargName->setFocus(Qt::OtherFocusReason);
    if (const int size = layout::sizeRadioIndex(s.aLocalCfg); size >= 0)
        m_image.sizeRadios.at(size)->setChecked(true);
}

void MainWindow::showPage(Page page)
{
    if (m_imagePage == nullptr)
        return;
    m_imagePage->setVisible(page == Page::Image);
    m_settingsPage->setVisible(page == Page::Settings);
    const QSignalBlocker blocker(m_tabBar);
    m_tabBar->setCurrentIndex(page == Page::Image ? 0 : 1);
    m_tabBar->raise();
}

MainWindow::Page MainWindow::currentPage() const
{
    return m_settingsPage != nullptr && m_settingsPage->isVisibleTo(this) ? Page::Settings
                                                                          : Page::Image;
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QWidget *MainWindow::control(const QString &name) const
{
    return findChild<QWidget *>(name);
}

} // namespace framla::app
