#include "dialogs/setup_form.h"

#include "base/error.h"
#include "base/show_info.h"
#include "dialogs/about_box.h"
#include "dialogs/locate_form.h"
#include "dialogs/overlay_form.h"
#include "dialogs/wait_form.h"
#include "display/main_form.h"
#include "picture/picture.h"
#include "picture/picture_folder.h"
#include "picture/qt/platform_codecs.h"
#include "picture/qt/qimage_view.h"
#include "platform/window_system.h"
#include "scene/global_bitmaps.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"
#include "settings/setup_rules.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <filesystem>
#include <utility>

using velmora::Settings;
using velmora::settings;
using velmora::show_info;

namespace {

// The client area the dialog was designed for; it grows only when the
// controls need more room at the desktop's font.
constexpr int kClientWidth = 405;
constexpr int kClientHeight = 527;

QString qstr(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string str(const QString& text)
{
    return text.toStdString();
}

// Surrounding blanks and control characters removed.
std::string trimmed(const std::string& text)
{
    const auto first = std::find_if(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > ' '; });
    const auto last = std::find_if(text.rbegin(), text.rend(), [](char c) {
        return static_cast<unsigned char>(c) > ' ';
    }).base();
    return first < last ? std::string(first, last) : std::string();
}

// The box's text as a decimal integer, or nothing.
std::optional<int> integer_in(const QLineEdit* box)
{
    try {
        return velmora::parse_integer(str(box->text()));
    } catch (const velmora::Error&) {
        return std::nullopt;
    }
}

bool file_exists(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

std::string folder_part(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string name_part(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Sets a box's text; a box that already shows it sees no change.
void set_text(QLineEdit* box, const QString& text)
{
    if (box->text() != text)
        box->setText(text);
}

// A picture name typed into `box` becomes `setting`, unless the settings file
// could not hold it: then the user is told and the box shows the name before.
void take_typed_name(QLineEdit* box, std::string& setting)
{
    const std::string typed = str(box->text());
    if (const auto refusal = velmora::unstorable_name_message(typed)) {
        show_info(*refusal);
        set_text(box, qstr(setting));
        return;
    }
    setting = typed;
}

// What the dialog lets the user choose. The display takes wider ranges from a
// hand-edited file (it moves only values that would fault); the dialog keeps
// to the ranges it has always offered.
struct DialogRange {
    std::int32_t Settings::*field;
    int min;
    int max;
};

constexpr std::array<DialogRange, 8> kDialogRanges { {
    { &Settings::ReflectionHeightPercent, 5, 100 },
    { &Settings::BrightnessLevel, -200, 200 },
    { &Settings::WaveFactor1, -100, 100 },
    { &Settings::WaveFactor2, -100, 100 },
    { &Settings::NumberOfReflectedImages, 3, 15 },
    { &Settings::DelayTimeMS, 50, 500 },
    { &Settings::MultDelayTime, 1, 300 },
    { &Settings::OverlayZoomFactor, 5, 500 },
} };

// The range the dialog offers for a setting.
std::pair<int, int> range_of(std::int32_t Settings::*field)
{
    for (const DialogRange& range : kDialogRanges) {
        if (range.field == field)
            return { range.min, range.max };
    }
    return { 0, 0 };
}

QSlider* make_bar(QWidget* parent, const char* name, std::int32_t Settings::*field)
{
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(QString::fromLatin1(name));
    const auto [min, max] = range_of(field);
    bar->setRange(min, max);
    bar->setSingleStep(1);
    bar->setPageStep(std::max(1, (max - min) / 10));
    bar->setTickPosition(QSlider::NoTicks);
    return bar;
}

QLabel* make_label(QWidget* parent, const char* name, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QLabel* make_value_label(QWidget* parent, const char* name)
{
    QLabel* label = make_label(parent, name, QString());
    // Room for the widest value, "-200", so the bars do not move.
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("-2000")));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QPushButton* make_button(
    QWidget* parent, const char* name, const QString& caption, const QString& hint = QString())
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    button->setAutoDefault(false);
    return button;
}

QCheckBox* make_check(
    QWidget* parent, const char* name, const QString& caption, const QString& hint = QString())
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(hint);
    return box;
}

QLineEdit* make_edit(QWidget* parent, const char* name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// Keeps a hidden control's place, so showing and hiding moves nothing else.
void keep_place(QWidget* widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

// The picture dialog's preview: the chosen file as the saver would load it,
// so a picture shown here is a picture the saver can show.
class PicturePreview : public QWidget {
public:
    explicit PicturePreview(QWidget* parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("PicturePreview"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(4, 0, 0, 0);
        picture_ = new QLabel(this);
        picture_->setObjectName(QStringLiteral("PreviewPicture"));
        picture_->setFixedSize(180, 180);
        picture_->setAlignment(Qt::AlignCenter);
        picture_->setFrameShape(QFrame::StyledPanel);
        text_ = new QLabel(this);
        text_->setObjectName(QStringLiteral("PreviewText"));
        text_->setWordWrap(true);
        text_->setFixedWidth(180);
        text_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        layout->addWidget(picture_);
        layout->addWidget(text_);
        layout->addStretch();
    }

    void show_file(const QString& path)
    {
        picture_->clear();
        text_->clear();
        const QFileInfo info(path);
        if (path.isEmpty() || !info.isFile())
            return;
        try {
            const velmora::Bitmap bitmap = velmora::load_picture(str(path));
            // Reduced straight to the screen's own pixels: on a scaling
            // screen the label shows them one to one, not enlarged again.
            const qreal ratio = picture_->devicePixelRatioF();
            QImage image = velmora::qimage_view(bitmap).scaled(
                (QSizeF(picture_->size() - QSize(4, 4)) * ratio).toSize(), Qt::KeepAspectRatio,
                Qt::SmoothTransformation);
            image.setDevicePixelRatio(ratio);
            picture_->setPixmap(QPixmap::fromImage(image));
            text_->setText(QStringLiteral("%1 x %2").arg(bitmap.width()).arg(bitmap.height()));
        } catch (const velmora::Error& error) {
            text_->setText(QString::fromUtf8(error.what()));
        }
    }

private:
    QLabel* picture_;
    QLabel* text_;
};

// The patterns of a filter such as "All (*.gif;*.jpeg)": the list inside its
// last parentheses, separated by semicolons or blanks.
QStringList filter_patterns(const QString& filter)
{
    const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = filter.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open)
        return { filter };
    QString list = filter.mid(open + 1, close - open - 1);
    list.replace(QLatin1Char(';'), QLatin1Char(' '));
    return list.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Gives a file dialog filters written with semicolons between the patterns,
// as the filter names show them. Qt's own dialog splits patterns at blanks
// only, so its file list is told the patterns of the chosen filter directly.
void set_filters(QFileDialog* dialog, const QStringList& filters)
{
    dialog->setNameFilters(filters);
    const auto apply = [dialog](const QString& filter) {
        // The dialog sets its list's patterns itself first; these replace them.
        QTimer::singleShot(0, dialog, [dialog, filter] {
            auto* model = dialog->findChild<QFileSystemModel*>();
            const QStringList patterns = filter_patterns(filter);
            if (model && model->nameFilters() != patterns)
                model->setNameFilters(patterns);
        });
    };
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, apply);
    apply(filters.value(0));
}

} // namespace

QStringList picture_filters()
{
    // "All" lists every extension the picture loader takes, and only those.
    return { QStringLiteral("All (*.gif;*.jpeg;*.jpg;*.bmp;*.ico;*.emf;*.wmf;*.png;*.webp;*.tif;"
                            "*.tiff)"),
        QStringLiteral("GIF Image (*.gif)"), QStringLiteral("JPEG Image File (*.jpeg)"),
        QStringLiteral("JPEG Image File (*.jpg)"), QStringLiteral("Bitmaps (*.bmp)"),
        QStringLiteral("Icons (*.ico)"), QStringLiteral("Enhanced Metafiles (*.emf)"),
        QStringLiteral("Metafiles (*.wmf)"), QStringLiteral("PNG Image (*.png)"),
        QStringLiteral("WebP Image (*.webp)"), QStringLiteral("TIFF Image (*.tif *.tiff)") };
}

// ---------------------------------------------------------------------------
// Small controls

RadioGroup::RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(title, parent)
    , buttons_(new QButtonGroup(this))
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, title.isEmpty() ? 4 : 2, 6, 4);
    grid->setVerticalSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(QStringLiteral("%1_%2").arg(objectName()).arg(i));
        buttons_->addButton(button, i);
        grid->addWidget(button, i / columns, i % columns);
    }
}

int RadioGroup::ItemIndex() const
{
    return buttons_->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    QAbstractButton* button = buttons_->button(index);
    if (button) {
        button->setChecked(true);
        return;
    }
    // An exclusive group never unchecks its last button by itself.
    buttons_->setExclusive(false);
    for (QAbstractButton* b : buttons_->buttons())
        b->setChecked(false);
    buttons_->setExclusive(true);
}

LinkLabel::LinkLabel(bool bold, QWidget* parent)
    : QLabel(parent)
{
    QFont f = font();
    f.setBold(bold);
    f.setUnderline(true);
    setFont(f);
    QPalette navy = palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    setPalette(navy);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())
        && on_click)
        on_click();
}

// ---------------------------------------------------------------------------
// Creation

TSetupForm::TSetupForm(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SetupForm"));
    setWindowTitle(QStringLiteral("Velmora Setup"));
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    create_controls();
    create_file_dialogs();
    FormCreate();
}

TSetupForm::~TSetupForm() = default;

void TSetupForm::use_dialogs(TLocateForm* locate, TOverlayForm* overlay, TAboutBox* about)
{
    locate_ = locate;
    overlay_ = overlay;
    about_ = about;
}

void TSetupForm::create_controls()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 8);
    layout->setSpacing(6);

    auto* image_setup = new QGroupBox(QStringLiteral("Image Setup"), this);
    image_setup->setObjectName(QStringLiteral("ImageSetupGroup"));
    auto* image_layout = new QVBoxLayout(image_setup);
    image_layout->setContentsMargins(6, 4, 6, 6);
    image_layout->setSpacing(4);
    DisplayTypeRG = new RadioGroup(QString(),
        { QStringLiteral("Single-Image Mode"), QStringLiteral("Multiple-Images Mode") }, 2,
        image_setup);
    DisplayTypeRG->setObjectName(QStringLiteral("DisplayTypeRG"));
    QFont bold = DisplayTypeRG->font();
    bold.setBold(true);
    DisplayTypeRG->setFont(bold);
    image_layout->addWidget(DisplayTypeRG);

    // The two panels share one place; the mode shows one of them.
    auto* panels = new QWidget(image_setup);
    auto* panel_grid = new QGridLayout(panels);
    panel_grid->setContentsMargins(0, 0, 0, 0);
    SingleImagePanel = create_single_image_panel();
    MultipleImagePanel = create_multiple_image_panel();
    SingleImagePanel->setParent(panels);
    MultipleImagePanel->setParent(panels);
    keep_place(SingleImagePanel);
    keep_place(MultipleImagePanel);
    panel_grid->addWidget(SingleImagePanel, 0, 0);
    panel_grid->addWidget(MultipleImagePanel, 0, 0);
    image_layout->addWidget(panels);
    layout->addWidget(image_setup);

    ImageResCodeRGroup = new RadioGroup(
        QStringLiteral("Max Possible Viewing Size (Note: Will always retain aspect ratio)"),
        { QStringLiteral("Small (320x200)"), QStringLiteral("Medium (640x480)"),
            QStringLiteral("Large (800x600)"), QStringLiteral("Fit Screen") },
        3, this);
    ImageResCodeRGroup->setObjectName(QStringLiteral("ImageResCodeRGroup"));
    layout->addWidget(ImageResCodeRGroup);

    layout->addWidget(create_adjustments());
    layout->addStretch();

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    AboutBut = make_button(this, "AboutBut", QStringLiteral("About..."));
    TestBut = make_button(
        this, "TestBut", QStringLiteral("Test"), QStringLiteral("Click to test current settings"));
    QFont test_font = TestBut->font();
    test_font.setBold(true);
    TestBut->setFont(test_font);
    QPalette navy = TestBut->palette();
    navy.setColor(QPalette::ButtonText, QColor(0, 0, 128));
    TestBut->setPalette(navy);
    ApplyBut = make_button(this, "ApplyBut", QStringLiteral("Apply/Save/Load"),
        QStringLiteral("Save Settings as Defaults.  Right Click for more options..."));
    ApplyBut->setFont(test_font);
    ApplyBut->setContextMenuPolicy(Qt::CustomContextMenu);
    CancelBut = make_button(
        this, "CancelBut", QStringLiteral("Close"), QStringLiteral("Exit and Close form"));
    for (QPushButton* button : { AboutBut, TestBut, ApplyBut, CancelBut })
        bottom->addWidget(button);
    layout->addLayout(bottom);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    ExportConfig = PopupMenu1->addAction(QStringLiteral("Save Config As..."));
    ExportConfig->setObjectName(QStringLiteral("ExportConfig"));
    ImportConfig = PopupMenu1->addAction(QStringLiteral("Load Config from..."));
    ImportConfig->setObjectName(QStringLiteral("ImportConfig"));

    // Fixed size: the design's client area, or what the controls need at
    // the desktop's font when that is more.
    const QSize needed = layout->minimumSize();
    setFixedSize(std::max(kClientWidth, needed.width()), std::max(kClientHeight, needed.height()));

    connect(
        DisplayTypeRG->buttons(), &QButtonGroup::idClicked, this, &TSetupForm::DisplayTypeRGClick);
    connect(ImageResCodeRGroup->buttons(), &QButtonGroup::idClicked, this,
        &TSetupForm::ImageResCodeRGroupClick);
    connect(AboutBut, &QPushButton::clicked, this, &TSetupForm::AboutButClick);
    connect(TestBut, &QPushButton::clicked, this, &TSetupForm::TestButClick);
    connect(ApplyBut, &QPushButton::clicked, this, &TSetupForm::ApplyButClick);
    connect(CancelBut, &QPushButton::clicked, this, &TSetupForm::CancelButClick);
    connect(ApplyBut, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& at) { PopupMenu1->popup(ApplyBut->mapToGlobal(at)); });
    connect(ExportConfig, &QAction::triggered, this, &TSetupForm::ExportConfigClick);
    connect(ImportConfig, &QAction::triggered, this, &TSetupForm::ImportConfigClick);
}

QWidget* TSetupForm::create_single_image_panel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("SingleImagePanel"));
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    Label6 = make_label(panel, "Label6", QStringLiteral("Main Image"));
    FileTEdit = make_edit(panel, "FileTEdit");
    SelectImageBut = make_button(panel, "SelectImageBut", QStringLiteral("Select..."),
        QStringLiteral("Select the Main (background) image"));
    grid->addWidget(Label6, 0, 0, 1, 6);
    grid->addWidget(FileTEdit, 1, 0, 1, 6);
    grid->addWidget(SelectImageBut, 1, 6);

    ShiftHorCBox = make_check(panel, "ShiftHorCBox", QStringLiteral("Define water edge"));
    ShiftPixelsLab = make_label(panel, "ShiftPixelsLab", QStringLiteral("Pixels Shifted Up"));
    ShiftPixelsTEdit = make_edit(panel, "ShiftPixelsTEdit");
    LocateBut = make_button(panel, "LocateBut", QStringLiteral("Visual..."),
        QStringLiteral("Click to define water edge"));
    auto* edge_row = new QHBoxLayout;
    edge_row->addWidget(ShiftHorCBox);
    edge_row->addStretch();
    edge_row->addWidget(ShiftPixelsLab);
    edge_row->addWidget(ShiftPixelsTEdit);
    grid->addLayout(edge_row, 2, 0, 1, 6);
    grid->addWidget(LocateBut, 2, 6);

    OverlayCBox = make_check(panel, "OverlayCBox", QStringLiteral("Select Overlay Image"),
        QStringLiteral("Check to use Overlay with Main reflection"));
    OverlayReflectionCBox
        = make_check(panel, "OverlayReflectionCBox", QStringLiteral("Apply Reflection to Overlay"),
            QStringLiteral("Check to generate Reflection for Overlay"));
    auto* overlay_row = new QHBoxLayout;
    overlay_row->addWidget(OverlayCBox);
    overlay_row->addStretch();
    overlay_row->addWidget(OverlayReflectionCBox);
    grid->addLayout(overlay_row, 3, 0, 1, 7);

    OverlayTEdit = make_edit(panel, "OverlayTEdit");
    SelectOverlayBut = make_button(panel, "SelectOverlayBut", QStringLiteral("Select..."),
        QStringLiteral("Click to select Overlay Image"));
    grid->addWidget(OverlayTEdit, 4, 0, 1, 6);
    grid->addWidget(SelectOverlayBut, 4, 6);

    XOffLab = make_label(panel, "XOffLab", QStringLiteral(" X-Left"));
    XOffTEdit = make_edit(panel, "XOffTEdit");
    YOffLab = make_label(panel, "YOffLab", QStringLiteral("Y-Top"));
    YOffTEdit = make_edit(panel, "YOffTEdit");
    OZoomLab = make_label(panel, "OZoomLab", QStringLiteral("Scale%"));
    OZoomTEdit = make_edit(panel, "OZoomTEdit");
    OverlayLocBut = make_button(panel, "OverlayLocBut", QStringLiteral("Visual..."),
        QStringLiteral("Click to specify overlay's properties"));
    int column = 0;
    for (QWidget* w : { static_cast<QWidget*>(XOffLab), static_cast<QWidget*>(XOffTEdit),
             static_cast<QWidget*>(YOffLab), static_cast<QWidget*>(YOffTEdit),
             static_cast<QWidget*>(OZoomLab), static_cast<QWidget*>(OZoomTEdit),
             static_cast<QWidget*>(OverlayLocBut) })
        grid->addWidget(w, 5, column++);

    WebLab = new LinkLabel(true, panel);
    WebLab->setObjectName(QStringLiteral("WebLab"));
    grid->addWidget(WebLab, 6, 0, 1, 7, Qt::AlignRight);
    grid->setRowStretch(7, 1);

    // The numbers are short; the file names take the rest of the width.
    const int number_width
        = ShiftPixelsTEdit->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12;
    for (QLineEdit* box : { ShiftPixelsTEdit, XOffTEdit, YOffTEdit, OZoomTEdit })
        box->setFixedWidth(number_width);
    for (QWidget* w :
        { static_cast<QWidget*>(ShiftPixelsLab), static_cast<QWidget*>(ShiftPixelsTEdit),
            static_cast<QWidget*>(OverlayTEdit), static_cast<QWidget*>(SelectOverlayBut),
            static_cast<QWidget*>(XOffTEdit), static_cast<QWidget*>(YOffTEdit),
            static_cast<QWidget*>(XOffLab), static_cast<QWidget*>(YOffLab),
            static_cast<QWidget*>(OverlayLocBut), static_cast<QWidget*>(OverlayReflectionCBox),
            static_cast<QWidget*>(OZoomLab), static_cast<QWidget*>(OZoomTEdit) })
        keep_place(w);

    connect(FileTEdit, &QLineEdit::textChanged, this, &TSetupForm::FileTEditChange);
    connect(SelectImageBut, &QPushButton::clicked, this, &TSetupForm::SelectImageButClick);
    connect(ShiftHorCBox, &QCheckBox::clicked, this, &TSetupForm::ShiftHorCBoxClick);
    connect(ShiftPixelsTEdit, &QLineEdit::textChanged, this, &TSetupForm::ShiftPixelsTEditChange);
    connect(LocateBut, &QPushButton::clicked, this, &TSetupForm::LocateButClick);
    connect(OverlayCBox, &QCheckBox::clicked, this, &TSetupForm::OverlayCBoxClick);
    connect(
        OverlayReflectionCBox, &QCheckBox::clicked, this, &TSetupForm::OverlayReflectionCBoxClick);
    connect(OverlayTEdit, &QLineEdit::textChanged, this, &TSetupForm::OverlayTEditChange);
    connect(SelectOverlayBut, &QPushButton::clicked, this, &TSetupForm::SelectOverlayButClick);
    connect(XOffTEdit, &QLineEdit::textChanged, this, &TSetupForm::XOffTEditChange);
    connect(YOffTEdit, &QLineEdit::textChanged, this, &TSetupForm::YOffTEditChange);
    connect(OZoomTEdit, &QLineEdit::textChanged, this, &TSetupForm::OZoomTEditChange);
    connect(OverlayLocBut, &QPushButton::clicked, this, &TSetupForm::OverlayLocButClick);
    WebLab->on_click = [this] { WebLabClick(); };
    return panel;
}

QWidget* TSetupForm::create_multiple_image_panel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("MultipleImagePanel"));
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    ImageLBox = new QListWidget(panel);
    ImageLBox->setObjectName(QStringLiteral("ImageLBox"));
    ImageLBox->setToolTip(QStringLiteral("Double click for preview of current image"));
    ImageLBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ImageLBox->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    ImageLBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ImageLBox->installEventFilter(this);
    NumImagesLab = make_label(panel, "NumImagesLab", QStringLiteral("0"));
    NumImagesLab->setAlignment(Qt::AlignCenter);
    AddEntryBut = make_button(panel, "AddEntryBut", QStringLiteral("Add Entry..."),
        QStringLiteral("Add more entry to list."));
    AddFolderBut = make_button(panel, "AddFolderBut", QStringLiteral("Add Folder..."),
        QStringLiteral("Add every picture of a folder to list."));
    DelEntryBut = make_button(panel, "DelEntryBut", QStringLiteral("Delete Entry"),
        QStringLiteral("Delete current selected entry"));
    DefineEdgeBut = make_button(panel, "DefineEdgeBut", QStringLiteral("Visual..."),
        QStringLiteral("Click to Define Water Edge line"));
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(NumImagesLab);
    buttons->addWidget(AddEntryBut);
    buttons->addWidget(AddFolderBut);
    buttons->addWidget(DelEntryBut);
    buttons->addWidget(DefineEdgeBut);
    buttons->addStretch();
    grid->addWidget(ImageLBox, 0, 0, 1, 3);
    grid->addLayout(buttons, 0, 3);
    grid->setRowStretch(0, 1);

    DisableReflectionCBox
        = make_check(panel, "DisableReflectionCBox", QStringLiteral("Disable Reflection"));
    grid->addWidget(DisableReflectionCBox, 1, 0, 1, 4);

    Label1 = make_label(panel, "Label1", QStringLiteral("Delay Time between images (sec)"));
    MultDelayTbar = make_bar(panel, "MultDelayTbar", &Settings::MultDelayTime);
    MultDelayLab = make_value_label(panel, "MultDelayLab");
    grid->addWidget(Label1, 2, 0);
    grid->addWidget(MultDelayTbar, 2, 1, 1, 2);
    grid->addWidget(MultDelayLab, 2, 3, Qt::AlignLeft);

    WebLab2 = new LinkLabel(false, panel);
    WebLab2->setObjectName(QStringLiteral("WebLab2"));
    grid->addWidget(WebLab2, 3, 0, 1, 4, Qt::AlignRight);

    connect(AddEntryBut, &QPushButton::clicked, this, &TSetupForm::AddEntryButClick);
    connect(AddFolderBut, &QPushButton::clicked, this, &TSetupForm::AddFolderButClick);
    connect(DelEntryBut, &QPushButton::clicked, this, &TSetupForm::DelEntryButClick);
    connect(DefineEdgeBut, &QPushButton::clicked, this, &TSetupForm::DefineEdgeButClick);
    connect(ImageLBox, &QListWidget::itemDoubleClicked, this, &TSetupForm::ImageLBoxDblClick);
    connect(
        DisableReflectionCBox, &QCheckBox::clicked, this, &TSetupForm::DisableReflectionCBoxClick);
    connect(MultDelayTbar, &QSlider::valueChanged, this, &TSetupForm::MultDelayTbarChange);
    WebLab2->on_click = [this] { WebLab2Click(); };
    return panel;
}

QGroupBox* TSetupForm::create_adjustments()
{
    auto* group = new QGroupBox(QStringLiteral("Reflection Image Adjustments"), this);
    group->setObjectName(QStringLiteral("AdjustmentsGroup"));
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);

    struct Row {
        const char* caption;
        const char* bar;
        const char* label;
        std::int32_t Settings::*field;
        QSlider** bar_field;
        QLabel** label_field;
        void (TSetupForm::*handler)();
    };
    const Row rows[] = {
        { "Reflection Image Height (%)", "RIHeightTBar", "RIHeightLab",
            &Settings::ReflectionHeightPercent, &RIHeightTBar, &RIHeightLab,
            &TSetupForm::RIHeightTBarChange },
        { "Reflection Brightness Adjust", "BrightnessTBar", "BrightnessLab",
            &Settings::BrightnessLevel, &BrightnessTBar, &BrightnessLab,
            &TSetupForm::BrightnessTBarChange },
        { "Wave Shape Factor", "WaveFactor1TBar", "WaveFactor1Lab", &Settings::WaveFactor1,
            &WaveFactor1TBar, &WaveFactor1Lab, &TSetupForm::WaveFactor1TBarChange },
        { "Wind Speed Factor", "WaveFactor2TBar", "WaveFactor2Lab", &Settings::WaveFactor2,
            &WaveFactor2TBar, &WaveFactor2Lab, &TSetupForm::WaveFactor2TBarChange },
        { "Number of generated images", "NumSetRefImgTBar", "NumSetRefImgLab",
            &Settings::NumberOfReflectedImages, &NumSetRefImgTBar, &NumSetRefImgLab,
            &TSetupForm::NumSetRefImgTBarChange },
        { "Animation Delay(MiliSeconds)", "DelayTBar", "DelayLab", &Settings::DelayTimeMS,
            &DelayTBar, &DelayLab, &TSetupForm::DelayTBarChange },
    };
    int r = 0;
    for (const Row& row : rows) {
        grid->addWidget(make_label(group, "", QString::fromLatin1(row.caption)), r, 0);
        *row.bar_field = make_bar(group, row.bar, row.field);
        *row.label_field = make_value_label(group, row.label);
        grid->addWidget(*row.bar_field, r, 2);
        grid->addWidget(*row.label_field, r, 4);
        connect(*row.bar_field, &QSlider::valueChanged, this, row.handler);
        ++r;
    }
    // The brightness bar is marked at its ends.
    grid->addWidget(make_label(group, "BrightnessMinusLab", QStringLiteral("(-)")), 1, 1);
    grid->addWidget(make_label(group, "BrightnessPlusLab", QStringLiteral("(+)")), 1, 3);
    grid->setColumnStretch(2, 1);

    RIHeightTBar->setToolTip(
        QStringLiteral("Percentage of Main image (from water edge to top)\n"
                       "used for generating the reflection.  If image's own  bottom is used,\n"
                       "this will be the percentage from the water edge to bottom of image."));
    BrightnessTBar->setToolTip(
        QStringLiteral("Increase or Decrease Brightness of Main reflection"));

    DefaultBut = make_button(group, "DefaultBut", QStringLiteral("Reset to Defaults"),
        QStringLiteral("Reset settings to default values"));
    grid->addWidget(DefaultBut, r, 0, 1, 5, Qt::AlignRight);
    connect(DefaultBut, &QPushButton::clicked, this, &TSetupForm::DefaultButClick);
    return group;
}

void TSetupForm::create_file_dialogs()
{
    OpenPictureDialog1 = new QFileDialog(this, QStringLiteral("Open"));
    OpenPictureDialog1->setObjectName(QStringLiteral("OpenPictureDialog1"));
    OpenPictureDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenPictureDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenPictureDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    set_filters(OpenPictureDialog1, picture_filters());
    auto* preview = new PicturePreview(OpenPictureDialog1);
    if (auto* grid = qobject_cast<QGridLayout*>(OpenPictureDialog1->layout()))
        grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    connect(OpenPictureDialog1, &QFileDialog::currentChanged, preview,
        [preview](const QString& path) { preview->show_file(path); });

    // A folder for the slide show; the choice of its sub-folders sits in the
    // dialog itself and is kept between uses.
    OpenFolderDialog1 = new QFileDialog(this, QStringLiteral("Add Folder"));
    OpenFolderDialog1->setObjectName(QStringLiteral("OpenFolderDialog1"));
    OpenFolderDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenFolderDialog1->setOption(QFileDialog::ShowDirsOnly);
    OpenFolderDialog1->setFileMode(QFileDialog::Directory);
    OpenFolderDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    SubFoldersCBox
        = make_check(OpenFolderDialog1, "SubFoldersCBox", QStringLiteral("Include sub-folders"),
            QStringLiteral("Also add the pictures of every folder inside the chosen one"));
    if (auto* grid = qobject_cast<QGridLayout*>(OpenFolderDialog1->layout()))
        grid->addWidget(SubFoldersCBox, grid->rowCount(), 0, 1, grid->columnCount());

    OpenDialog1 = new QFileDialog(this, QStringLiteral("Open"));
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    set_filters(OpenDialog1, { QStringLiteral("Config INI File (*.ini)") });

    // The name is given the extension ".INI" after the dialog, so the
    // question before replacing a file is asked then, about that file.
    SaveDialog1 = new QFileDialog(this, QStringLiteral("Save As"));
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    set_filters(SaveDialog1, { QStringLiteral("Config INI file (*.ini)") });
}

void TSetupForm::FormCreate()
{
    // GIF pictures load as their first frame: a still picture everywhere.
    velmora::register_platform_codecs();
    MultipleImagePanel->setGeometry(SingleImagePanel->geometry());
    const QString address = QString::fromLatin1(kHomePageUrl);
    WebLab->setText(address);
    WebLab2->setText(address);
    config_file_name_.clear();
    velmora::shared_overlay_bitmap().reset();
    first_activation_ = true;

    // Until the settings are loaded the controls show the defaults.
    DisplayTypeRG->setItemIndex(0);
    MultipleImagePanel->hide();
    const Settings d = velmora::default_settings();
    for (auto [bar, value] : { std::pair { RIHeightTBar, d.ReflectionHeightPercent },
             std::pair { BrightnessTBar, d.BrightnessLevel },
             std::pair { WaveFactor1TBar, d.WaveFactor1 },
             std::pair { WaveFactor2TBar, d.WaveFactor2 },
             std::pair { NumSetRefImgTBar, d.NumberOfReflectedImages },
             std::pair { DelayTBar, d.DelayTimeMS },
             std::pair { MultDelayTbar, d.MultDelayTime } }) {
        const QSignalBlocker quiet(bar);
        bar->setValue(value);
    }
    for (auto [label, value] : { std::pair { RIHeightLab, d.ReflectionHeightPercent },
             std::pair { BrightnessLab, d.BrightnessLevel },
             std::pair { WaveFactor1Lab, d.WaveFactor1 },
             std::pair { WaveFactor2Lab, d.WaveFactor2 },
             std::pair { NumSetRefImgLab, d.NumberOfReflectedImages },
             std::pair { DelayLab, d.DelayTimeMS }, std::pair { MultDelayLab, d.MultDelayTime } })
        label->setText(QString::number(value));
    ImageResCodeRGroup->setItemIndex(d.ImageResCode);
    for (auto [box, value] : { std::pair { ShiftPixelsTEdit, 0 }, std::pair { XOffTEdit, 0 },
             std::pair { YOffTEdit, 0 }, std::pair { OZoomTEdit, d.OverlayZoomFactor } }) {
        const QSignalBlocker quiet(box);
        box->setText(QString::number(value));
    }
    OverlayReflectionCBox->setChecked(d.OverlayReflection);
    ShiftPixelsLab->hide();
    ShiftPixelsTEdit->hide();
    LocateBut->setEnabled(false);
    set_overlay_controls_visible(false);
    UpdateListWidth();
}

bool TSetupForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && first_activation_)
        QTimer::singleShot(0, this, &TSetupForm::FormActivate);
    return QDialog::event(event);
}

void TSetupForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Without a window manager the window is never activated: the first show
    // counts as the first activation.
    if (first_activation_)
        QTimer::singleShot(0, this, &TSetupForm::FormActivate);
}

void TSetupForm::FormActivate()
{
    if (!first_activation_)
        return;
    first_activation_ = false;
    show_settings();
}

void TSetupForm::show_settings()
{
    Settings& s = settings();
    // A file that stops reading half-way must not leave the record holding
    // values the controls do not show, where the next save would write them
    // unseen: the record goes back to what the controls show.
    const Settings before = s;
    try {
        velmora::read_settings(config_file_name_);
    } catch (const velmora::Error& error) {
        if (config_file_name_.empty() && before == Settings {}) {
            // Nothing was loaded yet: the controls show the defaults.
            Settings shown = velmora::default_settings();
            shown.SelectedImageIndex = before.SelectedImageIndex;
            shown.TestRun = before.TestRun;
            s = shown;
        } else {
            s = before;
        }
        show_info(error.what());
        return;
    }

    read_multiple_images();
    OpenPictureDialog1->setDirectory(qstr(s.ImageDir));

    RIHeightLab->setText(QString::number(s.ReflectionHeightPercent));
    DelayLab->setText(QString::number(s.DelayTimeMS));
    set_text(XOffTEdit, QString::number(s.XOffSet));
    set_text(YOffTEdit, QString::number(s.YOffSet));
    set_text(FileTEdit, qstr(s.ImageFileName));
    set_text(ShiftPixelsTEdit, QString::number(s.ShiftPixels));
    OverlayCBox->setChecked(s.Overlay);
    set_text(OverlayTEdit, qstr(s.OverlayFileName));
    set_text(OZoomTEdit, QString::number(s.OverlayZoomFactor));
    // Each bar stores what it can show, so a value out of its range in a
    // hand-edited file is saved as the bar shows it.
    const int height = s.ReflectionHeightPercent;
    const int delay = s.DelayTimeMS;
    const int shape = s.WaveFactor1;
    const int speed = s.WaveFactor2;
    const int frames = s.NumberOfReflectedImages;
    const int brightness = s.BrightnessLevel;
    set_adjustment(RIHeightTBar, height);
    set_adjustment(DelayTBar, delay);
    set_adjustment(WaveFactor1TBar, shape);
    set_adjustment(WaveFactor2TBar, speed);
    set_adjustment(NumSetRefImgTBar, frames);
    set_adjustment(BrightnessTBar, brightness);
    ShiftHorCBox->setChecked(s.ShiftHorizon);
    DisplayTypeRG->setItemIndex(s.MultipleMode ? 1 : 0);
    DisplayTypeRGClick();
    {
        const int seconds = s.MultDelayTime;
        const QSignalBlocker quiet(MultDelayTbar);
        MultDelayTbar->setValue(seconds);
    }
    MultDelayTbarChange();
    DisableReflectionCBox->setChecked(s.DisableReflection);
    OverlayReflectionCBox->setChecked(s.OverlayReflection);

    OverlayCBoxClick();
    ShiftHorCBoxClick();
    DisableReflectionCBoxClick();

    s.SelectedImageIndex = -1;
    ImageResCodeRGroup->setItemIndex(s.ImageResCode);

    changed_ = false;
    if (!config_file_name_.empty())
        show_info("Configuration imported from " + config_file_name_);
}

void TSetupForm::set_adjustment(QSlider* bar, int value)
{
    {
        const QSignalBlocker quiet(bar);
        bar->setValue(value);
    }
    // The bar's change handling runs even when the position stays.
    Q_EMIT bar->valueChanged(bar->value());
}

void TSetupForm::DisplayTypeRGClick()
{
    const bool multiple = DisplayTypeRG->ItemIndex() == 1;
    SingleImagePanel->setVisible(!multiple);
    MultipleImagePanel->setVisible(multiple);
    settings().MultipleMode = multiple;
}

// ---------------------------------------------------------------------------
// Single-image panel

void TSetupForm::FileTEditChange()
{
    take_typed_name(FileTEdit, settings().ImageFileName);
}

void TSetupForm::propose_picture(const std::string& path)
{
    const std::string folder = folder_part(path);
    if (!folder.empty())
        OpenPictureDialog1->setDirectory(qstr(folder));
    OpenPictureDialog1->selectFile(qstr(name_part(path)));
}

std::string TSetupForm::run_file_dialog(QFileDialog* dialog)
{
    if (file_dialog_runner_)
        return file_dialog_runner_(*dialog);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog->selectedFiles();
    return files.isEmpty() ? std::string() : str(files.first());
}

void TSetupForm::set_file_dialog_runner(FileDialogRunner runner)
{
    file_dialog_runner_ = std::move(runner);
}

std::string TSetupForm::choose_picture()
{
    const std::string chosen = run_file_dialog(OpenPictureDialog1);
    if (const auto refusal = velmora::unstorable_name_message(chosen)) {
        show_info(*refusal);
        return {};
    }
    return chosen;
}

void TSetupForm::SelectImageButClick()
{
    Settings& s = settings();
    const std::string remembered = s.ImageFileName;
    if (!FileTEdit->text().isEmpty())
        propose_picture(str(FileTEdit->text()));
    const std::string chosen = choose_picture();
    if (!chosen.empty()) {
        s.ImageFileName = chosen;
        if (chosen != remembered)
            set_text(ShiftPixelsTEdit, QStringLiteral("0"));
        changed_ = true;
        s.UseImageBottom = false;
    }
    set_text(FileTEdit, qstr(s.ImageFileName));
}

void TSetupForm::ShiftHorCBoxClick()
{
    Settings& s = settings();
    if (ShiftHorCBox->isChecked()) {
        ShiftPixelsLab->show();
        ShiftPixelsTEdit->show();
        s.ShiftHorizon = true;
        const std::optional<int> pixels = integer_in(ShiftPixelsTEdit);
        if (!pixels) {
            show_info("Invalid Pixels Shifted Value:" + str(ShiftPixelsTEdit->text()));
            return;
        }
        s.ShiftPixels = *pixels;
        LocateBut->setEnabled(true);
    } else {
        ShiftPixelsLab->hide();
        ShiftPixelsTEdit->hide();
        s.ShiftHorizon = false;
        LocateBut->setEnabled(false);
    }
}

void TSetupForm::ShiftPixelsTEditChange()
{
    Settings& s = settings();
    const int remembered = s.ShiftPixels;
    const QString text = ShiftPixelsTEdit->text();
    const std::optional<int> pixels = integer_in(ShiftPixelsTEdit);
    if (pixels && *pixels >= 0) {
        s.ShiftPixels = *pixels;
        return;
    }
    if (!pixels)
        show_info("Invalid Integer value :" + str(text));
    else
        show_info("Invalid value (Negative) :" + std::to_string(*pixels));
    s.ShiftPixels = remembered;
    set_text(ShiftPixelsTEdit, QString::number(remembered));
}

bool TSetupForm::locate(const std::string& picture, int& pixels, bool& use_bottom)
{
    TLocateForm& form = locator();
    form.PictureFile = picture;
    form.PixelsFromBottom = pixels;
    form.ShowUseBottom = true;
    form.UseBottom = use_bottom;
    form.MirrorView = false;
    form.exec();
    pixels = form.PixelsFromBottom;
    use_bottom = form.UseBottom;
    return true;
}

void TSetupForm::LocateButClick()
{
    Settings& s = settings();
    if (trimmed(s.ImageFileName).empty()) {
        show_info("No Main Image selected yet!");
        return;
    }
    try {
        s.ShiftPixels = velmora::parse_integer(str(ShiftPixelsTEdit->text()));
    } catch (const velmora::Error& error) {
        show_info(error.what());
        return;
    }
    int pixels = s.ShiftPixels;
    bool use_bottom = s.UseImageBottom;
    locate(s.ImageFileName, pixels, use_bottom);
    set_text(ShiftPixelsTEdit, QString::number(pixels));
    s.ShiftPixels = pixels;
    s.UseImageBottom = use_bottom;
}

void TSetupForm::set_overlay_controls_visible(bool visible)
{
    for (QWidget* w :
        { static_cast<QWidget*>(OverlayTEdit), static_cast<QWidget*>(SelectOverlayBut),
            static_cast<QWidget*>(XOffTEdit), static_cast<QWidget*>(YOffTEdit),
            static_cast<QWidget*>(XOffLab), static_cast<QWidget*>(YOffLab),
            static_cast<QWidget*>(OverlayLocBut), static_cast<QWidget*>(OverlayReflectionCBox),
            static_cast<QWidget*>(OZoomLab), static_cast<QWidget*>(OZoomTEdit) })
        w->setVisible(visible);
}

void TSetupForm::OverlayCBoxClick()
{
    Settings& s = settings();
    if (!OverlayCBox->isChecked()) {
        set_overlay_controls_visible(false);
        s.Overlay = false;
        return;
    }
    set_overlay_controls_visible(true);
    s.Overlay = true;
    const std::optional<int> x = integer_in(XOffTEdit);
    if (!x) {
        show_info("Invalid X OffSet Values!");
        return;
    }
    s.XOffSet = *x;
    const std::optional<int> y = integer_in(YOffTEdit);
    if (!y) {
        show_info("Invalid Y OffSet Values!");
        return;
    }
    s.YOffSet = *y;
}

void TSetupForm::OverlayTEditChange()
{
    take_typed_name(OverlayTEdit, settings().OverlayFileName);
}

void TSetupForm::XOffTEditChange()
{
    if (const std::optional<int> x = integer_in(XOffTEdit))
        settings().XOffSet = *x;
}

void TSetupForm::YOffTEditChange()
{
    if (const std::optional<int> y = integer_in(YOffTEdit))
        settings().YOffSet = *y;
}

void TSetupForm::OZoomTEditChange()
{
    if (const std::optional<int> zoom = integer_in(OZoomTEdit))
        settings().OverlayZoomFactor = *zoom;
}

void TSetupForm::OverlayReflectionCBoxClick()
{
    settings().OverlayReflection = OverlayReflectionCBox->isChecked();
}

void TSetupForm::SelectOverlayButClick()
{
    if (!OverlayTEdit->text().isEmpty())
        propose_picture(str(OverlayTEdit->text()));
    const std::string chosen = choose_picture();
    if (chosen.empty())
        return;
    Settings& s = settings();
    s.OverlayFileName = chosen;
    set_text(OverlayTEdit, qstr(chosen));
    s.AutoOverlayXparentColor = true;
    s.FlipOverlay = false;
    s.OverlayShiftPixels = 0;
    s.OverlayXparentColor = -1;
    s.Overlay24BitXparentColor = -1;
    changed_ = true;
}

void TSetupForm::OverlayLocButClick()
{
    Settings& s = settings();
    if (trimmed(s.ImageFileName).empty()) {
        show_info("No Main Image selected yet!");
        return;
    }
    if (trimmed(s.OverlayFileName).empty()) {
        show_info("No Overlay Image selected yet!");
        return;
    }
    const auto [min_zoom, max_zoom] = range_of(&Settings::OverlayZoomFactor);
    if (s.OverlayZoomFactor < min_zoom || s.OverlayZoomFactor > max_zoom) {
        show_info("Scale % Value must be between " + std::to_string(min_zoom) + " and "
            + std::to_string(max_zoom) + "!");
        return;
    }
    s.OverlayFileName = str(OverlayTEdit->text());

    TOverlayForm& form = overlay_dialog();
    form.set_parameters(s);
    const Settings before = s;
    form.exec();
    form.take_parameters(s);
    // The boxes show what came back; their change handling stores it again.
    set_text(XOffTEdit, QString::number(s.XOffSet));
    set_text(YOffTEdit, QString::number(s.YOffSet));
    set_text(OZoomTEdit, QString::number(s.OverlayZoomFactor));
    OverlayReflectionCBox->setChecked(s.OverlayReflection);
    OverlayReflectionCBoxClick();
    // Every value that came back different is a change to save, whether the
    // dialog counted the action that made it or not (flip, the reflection's
    // brightness and wave, the check boxes).
    if (form.OverlayChanged || s != before)
        changed_ = true;
}

// ---------------------------------------------------------------------------
// Multiple-images panel

void TSetupForm::read_multiple_images()
{
    Settings& s = settings();
    // Entries the file only counts hold defaults; the list shows them as
    // empty names, up to the most entries the settings hold at all.
    const int count = std::clamp(s.NumMultipleImages, 0, velmora::kMaxImageEntries);
    s.Images.resize(static_cast<std::size_t>(count));
    ImageLBox->clear();
    for (const velmora::ImageEntry& entry : s.Images)
        ImageLBox->addItem(qstr(entry.ImageNumber));
    UpdateListWidth();
}

void TSetupForm::write_multiple_images()
{
    Settings& s = settings();
    const int count = ImageLBox->count();
    s.NumMultipleImages = count;
    s.Images.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        s.Images[static_cast<std::size_t>(i)].ImageNumber = str(ImageLBox->item(i)->text());
}

void TSetupForm::UpdateListWidth()
{
    const QFontMetrics metrics(ImageLBox->font());
    int widest = 0;
    for (int i = 0; i < ImageLBox->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(ImageLBox->item(i)->text()));
    list_extent_ = widest;
    // The list scrolls sideways over the widest name: every row is as wide.
    const int row_height = metrics.height() + 2;
    const int margin = 2 * (ImageLBox->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    for (int i = 0; i < ImageLBox->count(); ++i)
        ImageLBox->item(i)->setSizeHint(QSize(widest + margin, row_height));
    NumImagesLab->setText(QString::number(ImageLBox->count()));
}

void TSetupForm::append_entries(std::vector<std::string> files)
{
    const velmora::AdmittedEntries admitted
        = velmora::admit_entries(std::move(files), ImageLBox->count());
    if (!admitted.files.empty()) {
        Settings& s = settings();
        s.Images.resize(static_cast<std::size_t>(ImageLBox->count()));
        for (const std::string& file : admitted.files) {
            ImageLBox->addItem(qstr(file));
            s.Images.push_back({ file, 0, false });
        }
        UpdateListWidth();
        s.NumMultipleImages = ImageLBox->count();
        ImageLBox->clearSelection();
        ImageLBox->setCurrentRow(ImageLBox->count() - 1, QItemSelectionModel::ClearAndSelect);
        changed_ = true;
    }
    if (!admitted.message.empty())
        show_info(admitted.message);
}

void TSetupForm::AddEntryButClick()
{
    const std::string chosen = choose_picture();
    if (chosen.empty())
        return;
    const std::string folder = folder_part(chosen);
    if (!folder.empty())
        OpenPictureDialog1->setDirectory(qstr(folder));
    append_entries({ chosen });
}

void TSetupForm::AddFolderButClick()
{
    const std::string chosen = run_file_dialog(OpenFolderDialog1);
    if (chosen.empty())
        return;
    // Reopened, the dialog shows the chosen folder among its neighbours.
    const QFileInfo info(qstr(chosen));
    OpenFolderDialog1->setDirectory(info.absolutePath());
    OpenFolderDialog1->selectFile(info.fileName());
    const bool sub_folders = SubFoldersCBox->isChecked();

    // The listing itself passes over what it cannot read; a folder that
    // cannot be read at all is the user's to know about.
    std::error_code error;
    const std::filesystem::directory_iterator readable(chosen, error);
    if (error) {
        show_info("Folder \"" + chosen + "\" cannot be read!");
        return;
    }

    std::vector<std::string> found;
    {
        // A large tree on a slow disk takes a while: the progress window
        // says so until the listing is done.
        const auto wait = std::make_unique<TWaitForm>();
        wait->SetText("Looking for pictures.  Please wait...");
        wait->show();
        QCoreApplication::processEvents();
        found = velmora::pictures_in_folder(chosen, sub_folders);
    }
    if (found.empty()) {
        show_info("No pictures found in folder \"" + chosen + "\""
            + (sub_folders ? " or its sub-folders." : "."));
        return;
    }
    append_entries(std::move(found));
}

void TSetupForm::DelEntryButClick()
{
    Settings& s = settings();
    const int before = ImageLBox->count();
    s.Images.resize(static_cast<std::size_t>(before));
    std::vector<velmora::ImageEntry> kept;
    QStringList names;
    for (int i = 0; i < before; ++i) {
        if (ImageLBox->item(i)->isSelected())
            continue;
        velmora::ImageEntry entry = s.Images[static_cast<std::size_t>(i)];
        entry.ImageNumber = str(ImageLBox->item(i)->text());
        kept.push_back(std::move(entry));
        names.push_back(ImageLBox->item(i)->text());
    }
    if (static_cast<int>(kept.size()) == before)
        return;
    s.Images = std::move(kept);
    ImageLBox->clear();
    ImageLBox->addItems(names);
    UpdateListWidth();
    s.NumMultipleImages = ImageLBox->count();
    changed_ = true;
}

bool TSetupForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ImageLBox && event->type() == QEvent::KeyPress)
        ImageLBoxKeyDown(static_cast<QKeyEvent*>(event)->key());
    return QDialog::eventFilter(watched, event);
}

void TSetupForm::ImageLBoxKeyDown(int key)
{
    if (key == Qt::Key_Delete)
        DelEntryButClick();
}

void TSetupForm::ImageLBoxDblClick()
{
    DefineEdgeButClick();
}

void TSetupForm::DefineEdgeButClick()
{
    const int row = ImageLBox->currentRow();
    if (ImageLBox->count() == 0 || row < 0)
        return;
    Settings& s = settings();
    s.Images.resize(std::max(s.Images.size(), static_cast<std::size_t>(ImageLBox->count())));
    s.SelectedImageIndex = row + 1;
    velmora::ImageEntry& entry = s.Images[static_cast<std::size_t>(row)];
    int pixels = entry.ImageShiftNumber;
    bool use_bottom = entry.UseImageBottom;
    locate(str(ImageLBox->item(row)->text()), pixels, use_bottom);
    // The list may not change while the locator is open; the entry is still there.
    velmora::ImageEntry& same = s.Images[static_cast<std::size_t>(row)];
    same.ImageShiftNumber = pixels;
    same.UseImageBottom = use_bottom;
}

void TSetupForm::DisableReflectionCBoxClick()
{
    settings().DisableReflection = DisableReflectionCBox->isChecked();
}

void TSetupForm::MultDelayTbarChange()
{
    settings().MultDelayTime = MultDelayTbar->value();
    MultDelayLab->setText(QString::number(MultDelayTbar->value()));
}

// ---------------------------------------------------------------------------
// Adjustments

void TSetupForm::RIHeightTBarChange()
{
    settings().ReflectionHeightPercent = RIHeightTBar->value();
    RIHeightLab->setText(QString::number(RIHeightTBar->value()));
    changed_ = true;
}

void TSetupForm::BrightnessTBarChange()
{
    settings().BrightnessLevel = BrightnessTBar->value();
    BrightnessLab->setText(QString::number(BrightnessTBar->value()));
    changed_ = true;
}

void TSetupForm::WaveFactor1TBarChange()
{
    settings().WaveFactor1 = WaveFactor1TBar->value();
    WaveFactor1Lab->setText(QString::number(WaveFactor1TBar->value()));
    changed_ = true;
}

void TSetupForm::WaveFactor2TBarChange()
{
    settings().WaveFactor2 = WaveFactor2TBar->value();
    WaveFactor2Lab->setText(QString::number(WaveFactor2TBar->value()));
    changed_ = true;
}

void TSetupForm::NumSetRefImgTBarChange()
{
    settings().NumberOfReflectedImages = NumSetRefImgTBar->value();
    NumSetRefImgLab->setText(QString::number(NumSetRefImgTBar->value()));
    changed_ = true;
}

void TSetupForm::DelayTBarChange()
{
    settings().DelayTimeMS = DelayTBar->value();
    DelayLab->setText(QString::number(DelayTBar->value()));
    changed_ = true;
}

void TSetupForm::DefaultButClick()
{
    const Settings d = velmora::default_settings();
    set_adjustment(DelayTBar, d.DelayTimeMS);
    set_adjustment(RIHeightTBar, d.ReflectionHeightPercent);
    set_adjustment(WaveFactor1TBar, d.WaveFactor1);
    set_adjustment(WaveFactor2TBar, d.WaveFactor2);
    set_adjustment(NumSetRefImgTBar, d.NumberOfReflectedImages);
    set_adjustment(BrightnessTBar, d.BrightnessLevel);
}

void TSetupForm::ImageResCodeRGroupClick()
{
    settings().ImageResCode = ImageResCodeRGroup->ItemIndex();
    changed_ = true;
}

// ---------------------------------------------------------------------------
// Bottom row

void TSetupForm::ApplyButClick()
{
    Settings& s = settings();
    if (!file_exists(s.ImageFileName) && !s.MultipleMode) {
        show_info("Image File \"" + s.ImageFileName + "\" does not exist!");
        return;
    }
    if (OverlayCBox->isChecked() && !file_exists(s.OverlayFileName)) {
        show_info("Overlay File \"" + s.OverlayFileName + "\" does not exist!");
        return;
    }
    const std::optional<int> x = integer_in(XOffTEdit);
    if (x)
        s.XOffSet = *x;
    const std::optional<int> y = x ? integer_in(YOffTEdit) : std::nullopt;
    if (y)
        s.YOffSet = *y;
    if (!x || !y) {
        if (s.Overlay) {
            show_info("Invalid Overlay Location Values!");
            return;
        }
        s.XOffSet = 0;
        s.YOffSet = 0;
    }
    if (const std::optional<int> zoom = integer_in(OZoomTEdit)) {
        s.OverlayZoomFactor = *zoom;
    } else if (s.Overlay) {
        show_info("Invalid Overlay ZOOM factor!");
        return;
    } else {
        s.OverlayZoomFactor = 100;
    }
    const std::string folder = folder_part(s.ImageFileName);
    if (!folder.empty())
        OpenPictureDialog1->setDirectory(qstr(folder));
    if (ShiftHorCBox->isChecked()) {
        s.ShiftHorizon = true;
        const std::optional<int> pixels = integer_in(ShiftPixelsTEdit);
        if (!pixels) {
            show_info("Invalid Pixels Shifted Value: " + str(ShiftPixelsTEdit->text()));
            return;
        }
        s.ShiftPixels = *pixels;
        if (*pixels < 0) {
            show_info("Only Positive number of pixels shifted allowed!");
            return;
        }
    } else {
        s.ShiftHorizon = false;
    }
    write_multiple_images();
    try {
        velmora::write_settings(config_file_name_);
    } catch (const velmora::Error& error) {
        show_info(error.what());
        return;
    }
    if (config_file_name_.empty())
        show_info("Current Configuration saved as defaults.");
    else
        show_info("Current configuration exported to file " + config_file_name_);
    changed_ = false;
}

bool TSetupForm::may_replace(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return true;
    return QMessageBox::question(this, QStringLiteral("Confirm Save As"),
               QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(qstr(path)),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void TSetupForm::ExportConfigClick()
{
    SaveDialog1->setDirectory(qstr(settings().InstallDir));
    const QStringList imported = OpenDialog1->selectedFiles();
    if (!imported.isEmpty() && QFileInfo(imported.first()).isFile())
        SaveDialog1->selectFile(imported.first());
    const std::string chosen = run_file_dialog(SaveDialog1);
    if (chosen.empty())
        return;
    const std::string name = velmora::export_file_name(chosen);
    if (!may_replace(name))
        return;
    config_file_name_ = name;
    velmora::clear_read_only(name);
    ApplyButClick();
    config_file_name_.clear();
}

void TSetupForm::ImportConfigClick()
{
    OpenDialog1->setDirectory(qstr(settings().InstallDir));
    const std::string chosen = run_file_dialog(OpenDialog1);
    if (chosen.empty())
        return;
    config_file_name_ = chosen;
    show_settings();
    config_file_name_.clear();
}

void TSetupForm::TestButClick()
{
    write_multiple_images();
    Settings& s = settings();
    if (s.MultipleMode) {
        if (s.NumMultipleImages < 1) {
            show_info("No images on list!");
            return;
        }
        for (int i = 0; i < ImageLBox->count(); ++i) {
            if (ImageLBox->item(i)->isSelected())
                s.SelectedImageIndex = i + 1;
        }
    } else if (trimmed(s.ImageFileName).empty()) {
        show_info("No Main image selected yet!");
        return;
    }

    s.TestRun = true;
    {
        // The saver's own window, shown modally on the record as edited;
        // closing it (any input) ends the test.
        auto display = std::make_unique<TMainForm>();
        display->setAttribute(Qt::WA_QuitOnClose, false);
        display->setWindowModality(Qt::ApplicationModal);
        // A Wayland compositor gives each full-screen window one output: the
        // test covers them all there.
        if (velmora::on_wayland())
            display->cover_every_monitor();
        QEventLoop loop;
        struct CloseWatch : QObject {
            QEventLoop* loop;
            bool eventFilter(QObject*, QEvent* event) override
            {
                if (event->type() == QEvent::Hide)
                    loop->quit();
                return false;
            }
        } watch;
        watch.loop = &loop;
        display->installEventFilter(&watch);
        display->show();
        if (display->isVisible())
            loop.exec();
        display->removeEventFilter(&watch);
    }
    activateWindow();
    raise();
    s.TestRun = false;
}

void TSetupForm::AboutButClick()
{
    about_box().exec();
}

void TSetupForm::CancelButClick()
{
    if (changed_
        && QMessageBox::question(this, QStringLiteral("Confirm"),
               QStringLiteral("Configuration changed since last Apply/Save. Are you sure you want "
                              "to exit now?"),
               QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::No)
        return;
    velmora::shared_overlay_bitmap().reset();
    closing_ = true;
    QDialog::reject();
}

void TSetupForm::reject()
{
    // Escape and the window's close button ask as "Close" does.
    if (closing_)
        QDialog::reject();
    else
        CancelButClick();
}

void TSetupForm::WebLabClick()
{
    open_home_page();
}

void TSetupForm::WebLab2Click()
{
    WebLabClick();
}

// ---------------------------------------------------------------------------
// The dialogs of the mode

TLocateForm& TSetupForm::locator()
{
    if (!locate_) {
        own_locate_ = std::make_unique<TLocateForm>();
        locate_ = own_locate_.get();
    }
    return *locate_;
}

TOverlayForm& TSetupForm::overlay_dialog()
{
    if (!overlay_) {
        own_overlay_ = std::make_unique<TOverlayForm>();
        own_overlay_->set_locate_form(&locator());
        overlay_ = own_overlay_.get();
    }
    return *overlay_;
}

TAboutBox& TSetupForm::about_box()
{
    if (!about_) {
        own_about_ = std::make_unique<TAboutBox>();
        about_ = own_about_.get();
    }
    return *about_;
}
