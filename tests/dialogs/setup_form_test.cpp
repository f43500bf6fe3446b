#include "base/show_info.h"
#include "dialogs/about_box.h"
#include "dialogs/locate_form.h"
#include "dialogs/overlay_form.h"
#include "dialogs/setup_form.h"
#include "dialogs/wait_form.h"
#include "display/bitmap_view.h"
#include "display/main_form.h"
#include "picture/picture.h"
#include "picture/qt/platform_codecs.h"
#include "platform/run_mode.h"
#include "settings/read_write_ini.h"
#include "settings/settings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using velmora::Settings;
using velmora::settings;

std::string file_text(const fs::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// Runs `act` on the first visible top-level window of type W that `ready`
// accepts, from inside the modal loop that shows it. Deleting the returned
// watcher gives up waiting.
template <typename W>
QTimer* when_shown(std::function<void(W*)> act, std::function<bool(W*)> ready = {})
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act, ready] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* w = qobject_cast<W*>(widget);
            if (w && w->isVisible() && (!ready || ready(w))) {
                timer->stop();
                timer->deleteLater();
                act(w);
                return;
            }
        }
    });
    timer->start(10);
    return timer;
}

// A dialog that loads its picture while it opens, with the progress window,
// is ready once that is done and its modal showing runs.
template <typename W> bool settled(W*)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<TWaitForm*>(w) && w->isVisible())
            return false;
    }
    return QApplication::activeModalWidget() != nullptr;
}

QTimer* answer_question(QMessageBox::StandardButton answer, QString* text = nullptr)
{
    return when_shown<QMessageBox>([answer, text](QMessageBox* box) {
        if (text)
            *text = box->text();
        QTest::mouseClick(box->button(answer), Qt::LeftButton);
    });
}

// A click where a check box or radio button has its mark.
void click_box(QAbstractButton* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

void click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

void type(QLineEdit* box, const std::string& text)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (text.empty())
        QTest::keyClick(box, Qt::Key_Backspace);
    else
        QTest::keyClicks(box, QString::fromStdString(text));
}

// Moves a bar with the keyboard: to one end, then step by step.
void slide(QSlider* bar, int value)
{
    const bool from_top = value - bar->minimum() > bar->maximum() - value;
    QTest::keyClick(bar, from_top ? Qt::Key_End : Qt::Key_Home);
    while (bar->value() != value)
        QTest::keyClick(bar, from_top ? Qt::Key_Left : Qt::Key_Right);
}

QAbstractButton* item(RadioGroup* group, int index)
{
    return group->buttons()->button(index);
}

class SetupFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("velmora-setup-test-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder / "bin");
        velmora::override_program_file_name((folder / "bin/velmora").string());
        ini = folder / "bin/velmora.INI";
        lake = picture("lake.bmp", 400, 300);
        pond = picture("pond.bmp", 320, 240);
        boat = picture("boat.bmp", 60, 40);
        settings() = Settings {};
        velmora::run_mode = velmora::kConfigure;
        previous_ = velmora::set_info_handler(
            [this](const std::string& text) { messages.push_back(text); });
    }

    void TearDown() override
    {
        form.reset();
        velmora::set_info_handler(previous_);
        velmora::override_program_file_name({});
        fs::remove_all(folder);
    }

    std::string picture(const std::string& name, int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgb(x % 256, y % 256, 90));
        const std::string path = (folder / name).string();
        image.save(QString::fromStdString(path), "BMP");
        return path;
    }

    void write_ini(const std::string& lines) { std::ofstream(ini) << "[Setup]\n" << lines; }

    // Creates the dialog and shows it; its first activation loads the file.
    TSetupForm& open()
    {
        form = std::make_unique<TSetupForm>();
        form->use_dialogs(&locator, nullptr, &about);
        // The file dialogs answer with the names the test queued.
        form->set_file_dialog_runner([this](QFileDialog& dialog) {
            dialogs.push_back(dialog.objectName().toStdString());
            if (answers.empty()) {
                ADD_FAILURE() << "unexpected file dialog " << dialogs.back();
                return std::string();
            }
            const std::string answer = answers.front();
            answers.pop_front();
            return answer;
        });
        form->show();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        messages.clear();
        return *form;
    }

    // The answer of the next file dialog; empty cancels it.
    void answer_file_dialog(const std::string& path) { answers.push_back(path); }

    // Presses Apply and returns what it reported.
    std::string apply()
    {
        messages.clear();
        click(form->ApplyBut);
        return messages.empty() ? std::string("(nothing)") : messages.back();
    }

    // Adds an entry through the picture dialog.
    void add_entry(const std::string& path)
    {
        answer_file_dialog(path);
        click(form->AddEntryBut);
    }

    // Opens the locator for the focused entry, fixes the line at view row
    // `row` and closes it; returns the value the locator handed back.
    int locate_entry_at(int row)
    {
        int value = -1;
        when_shown<TLocateForm>(
            [&value, row](TLocateForm* l) {
                QTest::mouseMove(l->Image1, QPoint(50, row));
                QTest::mouseClick(l->Image1, Qt::LeftButton, {}, QPoint(50, row));
                value = l->PixelsFromBottom;
                click(l->CloseBut);
            },
            settled<TLocateForm>);
        click(form->DefineEdgeBut);
        return value;
    }

    fs::path folder;
    fs::path ini;
    std::string lake, pond, boat;
    std::vector<std::string> messages;
    std::deque<std::string> answers;
    std::vector<std::string> dialogs; // the file dialogs run, in order
    TLocateForm locator;
    TAboutBox about;
    std::unique_ptr<TSetupForm> form;

private:
    velmora::InfoHandler previous_;
};

// ---------------------------------------------------------------------------
// Layout

TEST_F(SetupFormTest, ShowsEveryControlWithItsCaptionAndHint)
{
    TSetupForm& f = open();
    EXPECT_EQ(f.windowTitle(), "Velmora Setup");
    EXPECT_GE(f.width(), 405);
    EXPECT_GE(f.height(), 527);
    EXPECT_EQ(f.minimumSize(), f.maximumSize()); // no resizing
    struct Control {
        QWidget* widget;
        const char* caption;
        const char* hint;
    };
    const Control controls[] = {
        { f.SelectImageBut, "Select...", "Select the Main (background) image" },
        { f.ShiftHorCBox, "Define water edge", "" },
        { f.LocateBut, "Visual...", "Click to define water edge" },
        { f.OverlayCBox, "Select Overlay Image", "Check to use Overlay with Main reflection" },
        { f.OverlayReflectionCBox, "Apply Reflection to Overlay",
            "Check to generate Reflection for Overlay" },
        { f.SelectOverlayBut, "Select...", "Click to select Overlay Image" },
        { f.OverlayLocBut, "Visual...", "Click to specify overlay's properties" },
        { f.AddEntryBut, "Add Entry...", "Add more entry to list." },
        { f.AddFolderBut, "Add Folder...", "Add every picture of a folder to list." },
        { f.SubFoldersCBox, "Include sub-folders",
            "Also add the pictures of every folder inside the chosen one" },
        { f.DelEntryBut, "Delete Entry", "Delete current selected entry" },
        { f.DefineEdgeBut, "Visual...", "Click to Define Water Edge line" },
        { f.DisableReflectionCBox, "Disable Reflection", "" },
        { f.DefaultBut, "Reset to Defaults", "Reset settings to default values" },
        { f.AboutBut, "About...", "" },
        { f.TestBut, "Test", "Click to test current settings" },
        { f.ApplyBut, "Apply/Save/Load",
            "Save Settings as Defaults.  Right Click for more options..." },
        { f.CancelBut, "Close", "Exit and Close form" },
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(qobject_cast<QAbstractButton*>(c.widget)->text(), c.caption);
        EXPECT_EQ(c.widget->toolTip(), c.hint);
    }
    for (auto [label, caption] :
        { std::pair { f.Label6, "Main Image" }, std::pair { f.ShiftPixelsLab, "Pixels Shifted Up" },
            std::pair { f.XOffLab, " X-Left" }, std::pair { f.YOffLab, "Y-Top" },
            std::pair { f.OZoomLab, "Scale%" },
            std::pair { f.Label1, "Delay Time between images (sec)" } })
        EXPECT_EQ(label->text(), caption);
    EXPECT_EQ(f.ImageLBox->toolTip(), "Double click for preview of current image");
    EXPECT_EQ(f.ImageLBox->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(f.ImageResCodeRGroup->title(),
        "Max Possible Viewing Size (Note: Will always retain aspect ratio)");
    for (int i : { 0, 1, 2, 3 })
        EXPECT_EQ(item(f.ImageResCodeRGroup, i)->text(),
            (QStringList {
                "Small (320x200)", "Medium (640x480)", "Large (800x600)", "Fit Screen" }[i]));
    EXPECT_EQ(item(f.ImageResCodeRGroup, 4), nullptr);
    // Beside "Add Entry...", alike.
    EXPECT_EQ(f.AddFolderBut->parent(), f.AddEntryBut->parent());
    EXPECT_EQ(f.AddFolderBut->width(), f.AddEntryBut->width());
    EXPECT_EQ(f.AddFolderBut->x(), f.AddEntryBut->x());
    EXPECT_EQ(item(f.DisplayTypeRG, 1)->text(), "Multiple-Images Mode");
    EXPECT_EQ(f.PopupMenu1->actions(), (QList<QAction*> { f.ExportConfig, f.ImportConfig }));
    EXPECT_EQ(f.ExportConfig->text(), "Save Config As...");
    EXPECT_EQ(f.ImportConfig->text(), "Load Config from...");
    struct Bar {
        QSlider* bar;
        int min, max;
    };
    for (const Bar b : { Bar { f.RIHeightTBar, 5, 100 }, Bar { f.BrightnessTBar, -200, 200 },
             Bar { f.WaveFactor1TBar, -100, 100 }, Bar { f.WaveFactor2TBar, -100, 100 },
             Bar { f.NumSetRefImgTBar, 3, 15 }, Bar { f.DelayTBar, 50, 500 },
             Bar { f.MultDelayTbar, 1, 300 } }) {
        EXPECT_EQ(b.bar->minimum(), b.min) << b.bar->objectName().toStdString();
        EXPECT_EQ(b.bar->maximum(), b.max) << b.bar->objectName().toStdString();
    }
}

// Every caption fits its control at the desktop's font, in both modes and
// with every optional control shown.
TEST_F(SetupFormTest, NothingIsClippedInEitherMode)
{
    write_ini("ImageFileName=" + lake + "\nShiftHorizon=True\nOverlay=True\n");
    TSetupForm& f = open();
    for (int mode : { 0, 1 }) {
        click_box(item(f.DisplayTypeRG, mode));
        EXPECT_EQ(f.SingleImagePanel->geometry(), f.MultipleImagePanel->geometry());
        for (QWidget* w : f.findChildren<QWidget*>()) {
            if (!w->isVisible() || !(qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)))
                continue;
            SCOPED_TRACE(w->objectName().toStdString());
            EXPECT_GE(w->width(), w->minimumSizeHint().width());
            EXPECT_TRUE(f.rect().contains(QRect(w->mapTo(&f, QPoint(0, 0)), w->size())));
        }
    }
}

// ---------------------------------------------------------------------------
// Wrong input: every message, and nothing written

TEST_F(SetupFormTest, EveryWrongInputIsReportedWithItsText)
{
    struct Case {
        const char* name;
        std::string ini;
        std::function<void(TSetupForm&)> act;
        std::string message;
    };
    const auto blocked = [](QLineEdit* box, const char* text) {
        // The box's own change handling never lets such a text stay.
        const QSignalBlocker quiet(box);
        box->setText(QString::fromLatin1(text));
    };
    const std::string with_pictures = "ImageFileName=" + lake + "\nOverlayFileName=" + boat + "\n";
    const Case cases[] = {
        { "main image missing", "ImageFileName=" + (folder / "gone.bmp").string(),
            [](TSetupForm& f) { click(f.ApplyBut); },
            "Image File \"" + (folder / "gone.bmp").string() + "\" does not exist!" },
        { "overlay missing",
            "ImageFileName=" + lake + "\nOverlay=True\nOverlayFileName=/no/boat.bmp",
            [](TSetupForm& f) { click(f.ApplyBut); },
            "Overlay File \"/no/boat.bmp\" does not exist!" },
        { "offsets", with_pictures + "Overlay=True",
            [](TSetupForm& f) {
                type(f.YOffTEdit, "top");
                click(f.ApplyBut);
            },
            "Invalid Overlay Location Values!" },
        { "zoom", with_pictures + "Overlay=True",
            [](TSetupForm& f) {
                type(f.OZoomTEdit, "big");
                click(f.ApplyBut);
            },
            "Invalid Overlay ZOOM factor!" },
        { "shift text", with_pictures + "ShiftHorizon=True",
            [blocked](TSetupForm& f) {
                blocked(f.ShiftPixelsTEdit, "x1");
                click(f.ApplyBut);
            },
            "Invalid Pixels Shifted Value: x1" },
        { "negative shift", with_pictures + "ShiftHorizon=True\nShiftPixels=-3",
            [](TSetupForm& f) { click(f.ApplyBut); },
            "Only Positive number of pixels shifted allowed!" },
        { "checking the edge", with_pictures,
            [blocked](TSetupForm& f) {
                blocked(f.ShiftPixelsTEdit, "x2");
                click_box(f.ShiftHorCBox);
            },
            "Invalid Pixels Shifted Value:x2" },
        { "emptied shift box", with_pictures + "ShiftHorizon=True\nShiftPixels=12",
            [](TSetupForm& f) { type(f.ShiftPixelsTEdit, ""); }, "Invalid Integer value :" },
        { "negative shift typed", with_pictures + "ShiftHorizon=True\nShiftPixels=5",
            [](TSetupForm& f) {
                QTest::keyClick(f.ShiftPixelsTEdit, Qt::Key_Home);
                QTest::keyClick(f.ShiftPixelsTEdit, Qt::Key_Minus);
            },
            "Invalid value (Negative) :-5" },
        { "checking the overlay, X", with_pictures,
            [](TSetupForm& f) {
                type(f.XOffTEdit, "left");
                click_box(f.OverlayCBox);
            },
            "Invalid X OffSet Values!" },
        { "checking the overlay, Y", with_pictures,
            [](TSetupForm& f) {
                type(f.YOffTEdit, "up");
                click_box(f.OverlayCBox);
            },
            "Invalid Y OffSet Values!" },
        { "edge locator without picture", "ShiftHorizon=True",
            [](TSetupForm& f) { click(f.LocateBut); }, "No Main Image selected yet!" },
        { "overlay dialog without picture", "Overlay=True\nOverlayFileName=" + boat,
            [](TSetupForm& f) { click(f.OverlayLocBut); }, "No Main Image selected yet!" },
        { "overlay dialog without overlay", "Overlay=True\nImageFileName=" + lake,
            [](TSetupForm& f) { click(f.OverlayLocBut); }, "No Overlay Image selected yet!" },
        { "overlay dialog, zoom", with_pictures + "Overlay=True\nOverlayZoomFactor=501",
            [](TSetupForm& f) { click(f.OverlayLocBut); },
            "Scale % Value must be between 5 and 500!" },
        { "test, empty list", "MultipleMode=True\nNumMultipleImages=1",
            [](TSetupForm& f) {
                f.ImageLBox->setCurrentRow(0);
                click(f.DelEntryBut);
                click(f.TestBut);
            },
            "No images on list!" },
        { "test, no picture", "ImageFileName=  ", [](TSetupForm& f) { click(f.TestBut); },
            "No Main image selected yet!" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(ini);
        write_ini(c.ini);
        const std::string before = file_text(ini);
        TSetupForm& f = open();
        const bool changed = f.changed();
        c.act(f);
        EXPECT_EQ(messages, std::vector<std::string> { c.message });
        EXPECT_EQ(file_text(ini), before);
        if (std::string(c.name) != "test, empty list") {
            EXPECT_EQ(f.changed(), changed);
        }
        EXPECT_TRUE(f.isVisible());
    }
}

TEST_F(SetupFormTest, TheShiftBoxGetsItsLastValueBackAfterAWrongEdit)
{
    write_ini("ImageFileName=" + lake + "\nShiftHorizon=True\nShiftPixels=12\n");
    TSetupForm& f = open();
    type(f.ShiftPixelsTEdit, "");
    EXPECT_EQ(f.ShiftPixelsTEdit->text(), "12");
    QTest::keyClick(f.ShiftPixelsTEdit, Qt::Key_Home);
    QTest::keyClick(f.ShiftPixelsTEdit, Qt::Key_Minus);
    EXPECT_EQ(f.ShiftPixelsTEdit->text(), "12");
    EXPECT_EQ(settings().ShiftPixels, 12);
    type(f.ShiftPixelsTEdit, "0");
    EXPECT_EQ(settings().ShiftPixels, 0);
    EXPECT_EQ(messages,
        (std::vector<std::string> { "Invalid Integer value :", "Invalid value (Negative) :-12" }));
}

// ---------------------------------------------------------------------------
// Apply/Save

TEST_F(SetupFormTest, ApplyWritesWhatTheBoxesHoldWhereTheOverlayDoesNotNeedThem)
{
    // Slide show without a main picture; overlay off with letters in its boxes.
    write_ini("MultipleMode=True\nNumMultipleImages=1\nImageNumber_01=" + lake
        + "\nXOffSet=5\nOverlayZoomFactor=60\n");
    TSetupForm& f = open();
    type(f.XOffTEdit, "a");
    type(f.OZoomTEdit, "b");
    EXPECT_EQ(apply(), "Current Configuration saved as defaults.");
    EXPECT_FALSE(f.changed());
    settings() = Settings {};
    velmora::read_settings("");
    EXPECT_EQ(settings().XOffSet, 0);
    EXPECT_EQ(settings().YOffSet, 0);
    EXPECT_EQ(settings().OverlayZoomFactor, 100);
    EXPECT_TRUE(settings().MultipleMode);
    EXPECT_EQ(settings().ImageFileName, "");
}

TEST_F(SetupFormTest, AZoomOutOfRangeIsSavedButNotTakenToTheOverlayDialog)
{
    write_ini("ImageFileName=" + lake + "\nOverlay=True\nOverlayFileName=" + boat + "\n");
    TSetupForm& f = open();
    type(f.OZoomTEdit, "1000");
    EXPECT_EQ(apply(), "Current Configuration saved as defaults.");
    EXPECT_NE(file_text(ini).find("OverlayZoomFactor=1000"), std::string::npos);
    click(f.OverlayLocBut);
    EXPECT_EQ(messages.back(), "Scale % Value must be between 5 and 500!");
}

TEST_F(SetupFormTest, EveryControlComesBackAfterApplyAndReopening)
{
    TSetupForm& f = open();
    type(f.FileTEdit, lake);
    click_box(f.ShiftHorCBox);
    type(f.ShiftPixelsTEdit, "42");
    click_box(f.OverlayCBox);
    type(f.OverlayTEdit, boat);
    type(f.XOffTEdit, "12");
    type(f.YOffTEdit, "-7");
    type(f.OZoomTEdit, "150");
    click_box(f.OverlayReflectionCBox);
    click_box(item(f.ImageResCodeRGroup, 2));
    slide(f.RIHeightTBar, 93);
    slide(f.BrightnessTBar, -190);
    slide(f.WaveFactor1TBar, -95);
    slide(f.WaveFactor2TBar, 97);
    slide(f.NumSetRefImgTBar, 4);
    slide(f.DelayTBar, 490);
    click_box(item(f.DisplayTypeRG, 1));
    add_entry(pond);
    add_entry(lake);
    f.ImageLBox->setCurrentRow(0);
    const int edge = locate_entry_at(100);
    EXPECT_GT(edge, 0);
    click_box(f.DisableReflectionCBox);
    slide(f.MultDelayTbar, 295);
    EXPECT_EQ(apply(), "Current Configuration saved as defaults.");

    form.reset();
    settings() = Settings {};
    TSetupForm& g = open();
    EXPECT_EQ(g.FileTEdit->text().toStdString(), lake);
    EXPECT_TRUE(g.ShiftHorCBox->isChecked());
    EXPECT_EQ(g.ShiftPixelsTEdit->text(), "42");
    EXPECT_TRUE(g.OverlayCBox->isChecked());
    EXPECT_EQ(g.OverlayTEdit->text().toStdString(), boat);
    EXPECT_EQ(g.XOffTEdit->text(), "12");
    EXPECT_EQ(g.YOffTEdit->text(), "-7");
    EXPECT_EQ(g.OZoomTEdit->text(), "150");
    EXPECT_FALSE(g.OverlayReflectionCBox->isChecked());
    EXPECT_EQ(g.ImageResCodeRGroup->ItemIndex(), 2);
    struct Bar {
        QSlider* bar;
        QLabel* label;
        int value;
    };
    for (const Bar b : { Bar { g.RIHeightTBar, g.RIHeightLab, 93 },
             Bar { g.BrightnessTBar, g.BrightnessLab, -190 },
             Bar { g.WaveFactor1TBar, g.WaveFactor1Lab, -95 },
             Bar { g.WaveFactor2TBar, g.WaveFactor2Lab, 97 },
             Bar { g.NumSetRefImgTBar, g.NumSetRefImgLab, 4 }, Bar { g.DelayTBar, g.DelayLab, 490 },
             Bar { g.MultDelayTbar, g.MultDelayLab, 295 } }) {
        EXPECT_EQ(b.bar->value(), b.value);
        EXPECT_EQ(b.label->text(), QString::number(b.value));
    }
    EXPECT_EQ(g.DisplayTypeRG->ItemIndex(), 1);
    EXPECT_TRUE(g.MultipleImagePanel->isVisible());
    EXPECT_FALSE(g.SingleImagePanel->isVisible());
    EXPECT_TRUE(g.DisableReflectionCBox->isChecked());
    ASSERT_EQ(g.ImageLBox->count(), 2);
    EXPECT_EQ(g.ImageLBox->item(0)->text().toStdString(), pond);
    EXPECT_EQ(g.ImageLBox->item(1)->text().toStdString(), lake);
    EXPECT_EQ(g.NumImagesLab->text(), "2");
    EXPECT_EQ(settings().image_entry(1).ImageShiftNumber, edge);
    EXPECT_EQ(settings().image_entry(2).ImageShiftNumber, 0);
    EXPECT_FALSE(g.changed());
    EXPECT_EQ(settings().SelectedImageIndex, -1);
}

// ---------------------------------------------------------------------------
// Pictures

TEST_F(SetupFormTest, ThePictureDialogOffersEveryFormatAndPreviewsWithTheSaversLoader)
{
    TSetupForm& f = open();
    QStringList filters;
    std::string preview;
    bool listed = false;
    when_shown<QFileDialog>([&](QFileDialog* dialog) {
        filters = dialog->nameFilters();
        // A click on the file in the list shows it in the preview.
        dialog->setDirectory(QString::fromStdString(folder.string()));
        auto* model = dialog->findChild<QFileSystemModel*>();
        auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
        const QModelIndex index = model->index(QString::fromStdString(lake));
        listed = QTest::qWaitFor([&] { return view->visualRect(index).isValid(); });
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        preview = dialog->findChild<QLabel*>(QStringLiteral("PreviewText"))->text().toStdString();
        QTest::keyClick(view, Qt::Key_Escape);
    });
    f.set_file_dialog_runner({}); // the real dialog, shown modally
    click(f.SelectImageBut);
    EXPECT_EQ(filters,
        (QStringList { "All (*.gif;*.jpeg;*.jpg;*.bmp;*.ico;*.emf;*.wmf;*.png;*.webp;*.tif;*.tiff)",
            "GIF Image (*.gif)", "JPEG Image File (*.jpeg)", "JPEG Image File (*.jpg)",
            "Bitmaps (*.bmp)", "Icons (*.ico)", "Enhanced Metafiles (*.emf)", "Metafiles (*.wmf)",
            "PNG Image (*.png)", "WebP Image (*.webp)", "TIFF Image (*.tif *.tiff)" }));
    EXPECT_TRUE(listed);
    EXPECT_EQ(preview, "400 x 300");
    EXPECT_FALSE(f.isHidden());
    EXPECT_FALSE(f.changed()); // cancelled
}

TEST_F(SetupFormTest, ChoosingTheSameMainImageKeepsItsEdgeButNotItsBottom)
{
    write_ini(
        "ImageFileName=" + lake + "\nShiftHorizon=True\nShiftPixels=30\nUseImageBottom=True\n");
    TSetupForm& f = open();
    answer_file_dialog(lake);
    click(f.SelectImageBut);
    EXPECT_EQ(settings().ShiftPixels, 30);
    EXPECT_FALSE(settings().UseImageBottom);
    EXPECT_TRUE(f.changed());

    answer_file_dialog(pond);
    click(f.SelectImageBut);
    EXPECT_EQ(f.ShiftPixelsTEdit->text(), "0");
    EXPECT_EQ(settings().ShiftPixels, 0);
    EXPECT_EQ(settings().ImageFileName, pond);
}

TEST_F(SetupFormTest, ANewOverlayStartsWithAutomaticColourAndNoFooting)
{
    write_ini("ImageFileName=" + lake + "\nOverlay=True\nFlipOverlay=True\nOverlayShiftPixels=4\n"
        + "AutoOverlayXparentColor=False\nOverlayXparentColor=255\n");
    TSetupForm& f = open();
    answer_file_dialog("");
    click(f.SelectOverlayBut);
    EXPECT_FALSE(f.changed());
    EXPECT_TRUE(settings().FlipOverlay);
    answer_file_dialog(boat);
    click(f.SelectOverlayBut);
    const Settings& s = settings();
    EXPECT_EQ(s.OverlayFileName, boat);
    EXPECT_EQ(f.OverlayTEdit->text().toStdString(), boat);
    EXPECT_TRUE(s.AutoOverlayXparentColor);
    EXPECT_FALSE(s.FlipOverlay);
    EXPECT_EQ(s.OverlayShiftPixels, 0);
    EXPECT_EQ(s.OverlayXparentColor, -1);
    EXPECT_EQ(s.Overlay24BitXparentColor, -1);
    EXPECT_TRUE(f.changed());
}

TEST_F(SetupFormTest, TheLocatorSetsTheMainImagesEdge)
{
    write_ini("ImageFileName=" + lake + "\nShiftHorizon=True\nShiftPixels=0\n");
    TSetupForm& f = open();
    int value = -1;
    when_shown<TLocateForm>(
        [&value](TLocateForm* l) {
            QTest::mouseMove(l->Image1, QPoint(50, 120));
            QTest::mouseClick(l->Image1, Qt::LeftButton, {}, QPoint(50, 120));
            click_box(l->UseBottomCBox);
            value = l->PixelsFromBottom;
            click(l->CloseBut);
        },
        settled<TLocateForm>);
    click(f.LocateBut);
    EXPECT_GT(value, 0);
    EXPECT_EQ(f.ShiftPixelsTEdit->text(), QString::number(value));
    EXPECT_EQ(settings().ShiftPixels, value);
    EXPECT_TRUE(settings().UseImageBottom);
    EXPECT_FALSE(f.changed());
}

TEST_F(SetupFormTest, TheOverlayDialogGetsTheSettingsAndHandsItsChoicesBack)
{
    write_ini("ImageFileName=" + lake + "\nOverlay=True\nOverlayFileName=" + boat
        + "\nXOffSet=30\nYOffSet=20\nOverlayZoomFactor=50\nShiftHorizon=False\nShiftPixels=9\n");
    TSetupForm& f = open();
    TOverlayForm overlay;
    f.use_dialogs(&locator, &overlay, &about);
    std::string main_picture;
    int zoom = 0, edge = -1;
    when_shown<TOverlayForm>(
        [&](TOverlayForm* o) {
            main_picture = o->ImageFileName;
            zoom = o->OverlayZoomFactor;
            edge = o->ShiftPixels;
            click_box(o->FlipOverlayCBox);
            click(o->Set100But);
            click(o->CloseBut);
        },
        settled<TOverlayForm>);
    QString error;
    const QPointer<QTimer> watch = answer_question(QMessageBox::Ok, &error);
    click(f.OverlayLocBut);
    delete watch.data();
    EXPECT_EQ(error, "");
    EXPECT_EQ(messages, std::vector<std::string> {});
    EXPECT_EQ(main_picture, lake);
    EXPECT_EQ(zoom, 50);
    EXPECT_EQ(edge, 0); // no water edge without "Define water edge"
    EXPECT_TRUE(settings().FlipOverlay);
    EXPECT_EQ(settings().OverlayZoomFactor, 100);
    EXPECT_EQ(f.OZoomTEdit->text(), "100");
    EXPECT_EQ(f.XOffTEdit->text(), "30");
    EXPECT_TRUE(f.changed());
}

// Whatever the overlay dialog hands back differently is a change to save,
// also where the dialog itself does not count the action as one; nothing
// changed in it is no change. (With the automatic colour off, opening the
// dialog measures no colour.)
TEST_F(SetupFormTest, EveryValueTheOverlayDialogHandsBackChangedIsAChange)
{
    write_ini("ImageFileName=" + lake + "\nOverlay=True\nOverlayFileName=" + boat
        + "\nAutoOverlayXparentColor=False\n");
    const std::vector<std::pair<const char*, std::function<void(TOverlayForm*)>>> actions = {
        { "nothing", [](TOverlayForm*) {} },
        { "flip", [](TOverlayForm* o) { click_box(o->FlipOverlayCBox); } },
        { "reflection brightness", [](TOverlayForm* o) { slide(o->OBrightnessTBar, 40); } },
        { "wave shape", [](TOverlayForm* o) { slide(o->ORefWaveTbar, -5); } },
        { "automatic colour", [](TOverlayForm* o) { click_box(o->AutoXCBox); } },
        { "reflection", [](TOverlayForm* o) { click_box(o->OverlayReflectionCBox); } },
    };
    for (const auto& [what, act] : actions) {
        SCOPED_TRACE(what);
        TSetupForm& f = open();
        TOverlayForm overlay;
        f.use_dialogs(&locator, &overlay, &about);
        when_shown<TOverlayForm>(
            [&act = act](TOverlayForm* o) {
                act(o);
                click(o->CloseBut);
            },
            settled<TOverlayForm>);
        click(f.OverlayLocBut);
        const bool nothing = std::string(what) == "nothing";
        EXPECT_EQ(f.changed(), !nothing);
        QString question;
        const QPointer<QTimer> watch = answer_question(QMessageBox::No, &question);
        click(f.CancelBut);
        delete watch.data();
        EXPECT_EQ(question.isEmpty(), nothing);
        EXPECT_EQ(f.isVisible(), !nothing);
        f.hide();
    }
}

// ---------------------------------------------------------------------------
// The image list

TEST_F(SetupFormTest, EntriesAreAddedAndDeletedWithTheirOwnEdges)
{
    write_ini("MultipleMode=True\n");
    TSetupForm& f = open();
    EXPECT_EQ(f.DisplayTypeRG->ItemIndex(), 0); // no entries: no slide show
    click_box(item(f.DisplayTypeRG, 1));
    EXPECT_FALSE(f.changed());
    for (const std::string& p : { lake, pond, lake })
        add_entry(p);
    EXPECT_EQ(f.NumImagesLab->text(), "3");
    EXPECT_EQ(f.ImageLBox->selectedItems(), QList { f.ImageLBox->item(2) });
    EXPECT_TRUE(f.changed());

    // The same picture twice keeps two edges.
    f.ImageLBox->setCurrentRow(0);
    const int first = locate_entry_at(60);
    f.ImageLBox->setCurrentRow(2);
    const int third = locate_entry_at(200);
    EXPECT_NE(first, third);
    EXPECT_EQ(settings().SelectedImageIndex, 3);

    // Nothing selected: nothing goes.
    f.ImageLBox->clearSelection();
    click(f.DelEntryBut);
    EXPECT_EQ(f.ImageLBox->count(), 3);

    // The Delete key removes the selected entries; the rest keep their edges.
    ASSERT_EQ(apply(), "Current Configuration saved as defaults.");
    f.ImageLBox->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(f.ImageLBox, Qt::Key_Delete);
    EXPECT_TRUE(f.changed());
    EXPECT_EQ(f.NumImagesLab->text(), "2");
    EXPECT_EQ(settings().NumMultipleImages, 2);
    EXPECT_EQ(settings().image_entry(1), (velmora::ImageEntry { lake, first, false }));
    EXPECT_EQ(settings().image_entry(2), (velmora::ImageEntry { lake, third, false }));
}

TEST_F(SetupFormTest, TheListScrollsSidewaysOverItsWidestName)
{
    const std::string deep = (folder / std::string(120, 'd')).string() + ".bmp";
    write_ini("MultipleMode=True\nNumMultipleImages=2\nImageNumber_01=" + lake
        + "\nImageNumber_02=" + deep + "\n");
    TSetupForm& f = open();
    const QFontMetrics metrics(f.ImageLBox->font());
    EXPECT_EQ(f.list_extent(), metrics.horizontalAdvance(QString::fromStdString(deep)));
    EXPECT_GT(f.ImageLBox->horizontalScrollBar()->maximum(), 0);
    f.ImageLBox->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    click(f.DelEntryBut);
    EXPECT_EQ(f.list_extent(), metrics.horizontalAdvance(QString::fromStdString(lake)));
    QCoreApplication::processEvents();
    EXPECT_EQ(f.ImageLBox->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(f.NumImagesLab->text(), "1");
}

// Pictures of several formats, other files and nested folders.
fs::path make_holiday_tree(const fs::path& root)
{
    fs::create_directories(root / "sub" / "deeper");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(qRgb(20, 90, 160));
    for (const char* name :
        { "b-sea.png", "A-beach.JPG", "c-boat.bmp", "sub/d-dune.jpg", "sub/deeper/e-gull.webp" })
        image.save(QString::fromStdString((root / name).string()));
    for (const char* other : { "notes.txt", "raw.xyz", "sub/list.txt" })
        std::ofstream(root / other) << "not a picture";
    return root;
}

TEST_F(SetupFormTest, AddFolderAppendsItsPicturesByNameWithoutWaterEdges)
{
    const fs::path tree = make_holiday_tree(folder / "holiday");
    const std::vector<std::string> top = { "A-beach.JPG", "b-sea.png", "c-boat.bmp" };
    std::vector<std::string> all = top;
    all.insert(all.end(), { "sub/d-dune.jpg", "sub/deeper/e-gull.webp" });
    for (const auto& [sub_folders, added] : { std::pair { false, top }, std::pair { true, all } }) {
        SCOPED_TRACE(sub_folders);
        write_ini("MultipleMode=True\nNumMultipleImages=1\nImageNumber_01=" + lake
            + "\nImageShiftNumber_01=7\n");
        TSetupForm& f = open();
        f.set_file_dialog_runner({}); // the real dialog: tick the box, open the folder, choose
        bool box_shown = false;
        when_shown<QFileDialog>([&, sub = sub_folders](QFileDialog* dialog) {
            auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("SubFoldersCBox"));
            box_shown = box->isVisible();
            if (box->isChecked() != sub)
                click_box(box);
            dialog->setDirectory(QString::fromStdString(tree.string()));
            click(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open));
        });
        click(f.AddFolderBut);
        EXPECT_TRUE(box_shown);
        EXPECT_EQ(messages, std::vector<std::string> {});
        std::vector<velmora::ImageEntry> expected { { lake, 7, false } };
        QStringList shown { QString::fromStdString(lake) };
        for (const std::string& name : added) {
            expected.push_back({ (tree / name).string(), 0, false });
            shown.push_back(QString::fromStdString((tree / name).string()));
        }
        const int count = static_cast<int>(expected.size());
        ASSERT_EQ(f.ImageLBox->count(), count);
        int widest = 0;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(f.ImageLBox->item(i)->text(), shown[i]);
            widest = std::max(widest, f.ImageLBox->fontMetrics().horizontalAdvance(shown[i]));
        }
        EXPECT_EQ(settings().Images, expected);
        EXPECT_EQ(f.NumImagesLab->text(), QString::number(count));
        EXPECT_EQ(f.list_extent(), widest);
        EXPECT_EQ(f.ImageLBox->selectedItems(), QList { f.ImageLBox->item(count - 1) });
        EXPECT_TRUE(f.changed());
        // One entry per picture in the file, read back as shown.
        ASSERT_EQ(apply(), "Current Configuration saved as defaults.");
        settings() = Settings {};
        velmora::read_settings("");
        EXPECT_EQ(settings().Images, expected);
    }
}

TEST_F(SetupFormTest, AddFolderAndAddEntrySayWhyTheyAddedNothing)
{
    const fs::path tree = make_holiday_tree(folder / "holiday");
    const std::string notes = (folder / "notes").string();
    fs::create_directories(folder / "notes/inner");
    std::ofstream(folder / "notes/inner/a.txt") << "text";
    const std::string gone = (folder / "gone").string();
    struct Case {
        std::string answer; // empty: cancelled
        bool sub_folders;
        int entries; // in the list before
        std::vector<std::string> messages;
    };
    const int most = velmora::kMaxImageEntries;
    const Case cases[] = {
        { "", true, 1, {} },
        { notes, false, 1, { "No pictures found in folder \"" + notes + "\"." } },
        { notes, true, 1, { "No pictures found in folder \"" + notes + "\" or its sub-folders." } },
        { gone, false, 1, { "Folder \"" + gone + "\" cannot be read!" } },
        { lake, true, 1, { "Folder \"" + lake + "\" cannot be read!" } },
        // The file reads no more entries back: none are added.
        { tree.string(), false, most,
            { "No pictures were added: the list holds at most 10000 entries." } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer + (c.sub_folders ? " and below" : ""));
        write_ini("MultipleMode=True\nNumMultipleImages=" + std::to_string(c.entries) + "\n");
        TSetupForm& f = open();
        f.SubFoldersCBox->setChecked(c.sub_folders);
        answer_file_dialog(c.answer);
        click(f.AddFolderBut);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(f.ImageLBox->count(), c.entries);
        EXPECT_EQ(settings().NumMultipleImages, c.entries);
        EXPECT_FALSE(f.changed());
    }
    // Add Entry stops at the same limit, with the same message.
    write_ini("MultipleMode=True\nNumMultipleImages=" + std::to_string(most) + "\n");
    TSetupForm& f = open();
    add_entry(lake);
    EXPECT_EQ(messages, cases[5].messages);
    EXPECT_EQ(f.ImageLBox->count(), most);
    EXPECT_FALSE(f.changed());
}

// A picture name longer than a settings value holds is refused wherever it
// enters, with a message naming the file; nothing changes, and saving works.
TEST_F(SetupFormTest, ANameTooLongForTheSettingsIsRefusedWhereItEnters)
{
    fs::path deep = folder;
    while (deep.string().size() < 1000)
        deep /= std::string(200, 'd');
    fs::create_directories(deep);
    const std::string long_name
        = picture(fs::path(deep / "lake.bmp").lexically_relative(folder).string(), 40, 30);
    const std::string pasted = lake + std::string(1100, 'x');
    struct Case {
        const char* where;
        std::function<void(TSetupForm&)> act;
        std::string name; // the name refused
    };
    const Case cases[] = {
        { "main picture dialog",
            [&](TSetupForm& f) {
                answer_file_dialog(long_name);
                click(f.SelectImageBut);
            },
            long_name },
        { "overlay picture dialog",
            [&](TSetupForm& f) {
                answer_file_dialog(long_name);
                click(f.SelectOverlayBut);
            },
            long_name },
        { "main picture typed",
            [&](TSetupForm& f) { f.FileTEdit->setText(QString::fromStdString(pasted)); }, pasted },
        { "overlay typed",
            [&](TSetupForm& f) { f.OverlayTEdit->setText(QString::fromStdString(pasted)); },
            pasted },
        { "Add Entry",
            [&](TSetupForm& f) {
                click_box(item(f.DisplayTypeRG, 1));
                add_entry(long_name);
            },
            long_name },
        { "Add Folder",
            [&](TSetupForm& f) {
                click_box(item(f.DisplayTypeRG, 1));
                answer_file_dialog(deep.string());
                click(f.AddFolderBut);
            },
            long_name },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        write_ini("ImageFileName=" + lake + "\nOverlay=True\nOverlayFileName=" + boat
            + "\nNumMultipleImages=1\nImageNumber_01=" + pond + "\n");
        TSetupForm& f = open();
        const Settings before = settings();
        c.act(f);
        const std::string& n = c.name;
        ASSERT_EQ(messages.size(), 1U);
        EXPECT_TRUE(messages[0].starts_with("The file name \"" + n.substr(0, 20))) << messages[0];
        EXPECT_NE(messages[0].find(n.substr(n.size() - 30) + "\" is too long ("
                      + std::to_string(n.size()) + " bytes, at most 1023)"),
            std::string::npos)
            << messages[0];
        EXPECT_EQ(f.FileTEdit->text().toStdString(), lake);
        EXPECT_EQ(f.OverlayTEdit->text().toStdString(), boat);
        EXPECT_EQ(f.ImageLBox->count(), 1);
        Settings now = settings();
        now.MultipleMode = before.MultipleMode;
        EXPECT_EQ(now, before);
        EXPECT_EQ(apply(), "Current Configuration saved as defaults.");
    }
}

// Every viewing size, the screen's own too, is its item's index.
TEST_F(SetupFormTest, EveryViewingSizeIsSavedAndShownAgain)
{
    for (int size : { 3, 0, 1, 2 }) {
        SCOPED_TRACE(size);
        write_ini("ImageFileName=" + lake + "\nImageResCode=" + std::to_string((size + 1) % 4));
        click_box(item(open().ImageResCodeRGroup, size));
        EXPECT_EQ(settings().ImageResCode, size);
        EXPECT_TRUE(form->changed());
        ASSERT_EQ(apply(), "Current Configuration saved as defaults.");
        settings() = Settings {};
        EXPECT_EQ(open().ImageResCodeRGroup->ItemIndex(), size);
    }
}

// The picture dialog's filters name exactly the formats the loader reads.
TEST(PictureFilters, NameExactlyTheFormatsThePictureLoaderReads)
{
    velmora::register_platform_codecs();
    const auto patterns = [](QString filter) {
        filter = filter.section('(', -1).section(')', 0, 0).replace(';', ' ');
        const QStringList split = filter.split(' ', Qt::SkipEmptyParts);
        return QSet<QString>(split.begin(), split.end());
    };
    const QStringList filters = picture_filters();
    const QSet<QString> all = patterns(filters.first());
    QSet<QString> each;
    for (const QString& filter : filters.mid(1))
        each += patterns(filter);
    EXPECT_EQ(all, each);
    QStringList extensions { "jpe", "txt", "xyz" };
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        extensions.push_back(QString::fromLatin1(format));
    for (const QString& pattern : all)
        extensions.push_back(pattern.mid(2));
    for (const QString& extension : extensions)
        EXPECT_EQ(velmora::has_picture_decoder("picture." + extension.toStdString()),
            all.contains("*." + extension))
            << extension.toStdString();
}

// ---------------------------------------------------------------------------
// Test run

TEST_F(SetupFormTest, TestShowsTheLastSelectedEntryOnTheSettingsAsEdited)
{
    write_ini("MultipleMode=True\nNumMultipleImages=4\nImageNumber_01=" + lake + "\nImageNumber_02="
        + pond + "\nImageNumber_03=" + lake + "\nImageNumber_04=" + pond + "\n");
    TSetupForm& f = open();
    slide(f.NumSetRefImgTBar, 5);
    const std::string saved = file_text(ini);
    f.ImageLBox->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    f.ImageLBox->setCurrentRow(3, QItemSelectionModel::Select);
    std::string shown;
    int index = 0, frames = 0;
    bool test_run = false;
    when_shown<TMainForm>(
        [&](TMainForm* display) {
            shown = display->CurrentFileName;
            index = display->CurrentImageIndex;
            frames = display->FramesBuilt();
            test_run = settings().TestRun;
            QTest::keyClick(display, Qt::Key_Space);
        },
        // The animation starts once the whole scene is built.
        [](TMainForm* display) { return display->Timer1->isActive(); });
    click(f.TestBut);
    EXPECT_EQ(index, 4);
    EXPECT_EQ(shown, pond);
    EXPECT_EQ(frames, 5);
    EXPECT_TRUE(test_run);
    EXPECT_FALSE(settings().TestRun);
    EXPECT_EQ(settings().SelectedImageIndex, 4);
    EXPECT_EQ(file_text(ini), saved);
    EXPECT_TRUE(f.isVisible());
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TMainForm*>(w), nullptr); // the display is gone
}

// ---------------------------------------------------------------------------
// Adjustments, the changed flag and Close

TEST_F(SetupFormTest, ResetToDefaultsMarksChangedEvenWhenNothingMoves)
{
    write_ini("DelayTimeMS=300\nBrightnessLevel=-20\n");
    TSetupForm& f = open();
    click(f.DefaultBut);
    EXPECT_EQ(settings().DelayTimeMS, 70);
    EXPECT_EQ(settings().BrightnessLevel, 0);
    EXPECT_EQ(f.DelayLab->text(), "70");
    ASSERT_EQ(apply(), "Image File \"\" does not exist!");
    type(f.FileTEdit, lake);
    ASSERT_EQ(apply(), "Current Configuration saved as defaults.");
    click(f.DefaultBut);
    EXPECT_TRUE(f.changed());

    QString question;
    answer_question(QMessageBox::No, &question);
    click(f.CancelBut);
    EXPECT_EQ(question,
        "Configuration changed since last Apply/Save. Are you sure you want to exit now?");
    EXPECT_TRUE(f.isVisible());
    answer_question(QMessageBox::Yes);
    click(f.CancelBut);
    EXPECT_FALSE(f.isVisible());
}

TEST_F(SetupFormTest, CloseAsksNothingAfterEditsThatDoNotMarkChanged)
{
    write_ini("ImageFileName=" + lake + "\nNumMultipleImages=1\nImageNumber_01=" + lake + "\n");
    const std::vector<std::function<void(TSetupForm&)>> edits = {
        [](TSetupForm& f) { click_box(item(f.DisplayTypeRG, 1)); },
        [](TSetupForm& f) { click_box(f.ShiftHorCBox); },
        [](TSetupForm& f) { click_box(f.OverlayCBox); },
        [](TSetupForm& f) { type(f.FileTEdit, "other.bmp"); },
        [](TSetupForm& f) {
            click_box(item(f.DisplayTypeRG, 1));
            slide(f.MultDelayTbar, 30);
            click_box(f.DisableReflectionCBox);
        },
    };
    for (std::size_t i = 0; i < edits.size(); ++i) {
        SCOPED_TRACE(i);
        TSetupForm& f = open();
        edits[i](f);
        EXPECT_FALSE(f.changed());
        QString question;
        const QPointer<QTimer> watch = answer_question(QMessageBox::Yes, &question);
        click(f.CancelBut);
        EXPECT_EQ(question, "");
        delete watch.data();
        EXPECT_FALSE(f.isVisible());
    }
    // A viewing size does mark it; so does Escape ask.
    TSetupForm& f = open();
    click_box(item(f.ImageResCodeRGroup, 0));
    EXPECT_TRUE(f.changed());
    answer_question(QMessageBox::No);
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_TRUE(f.isVisible());
}

// ---------------------------------------------------------------------------
// Export and import

TEST_F(SetupFormTest, ExportWritesAnIniFileAndAsksBeforeReplacingOne)
{
    write_ini("ImageFileName=" + lake + "\nDelayTimeMS=90\n");
    TSetupForm& f = open();
    slide(f.DelayTBar, 120);
    const std::string saved = file_text(ini);
    const auto do_export = [this, &f](const std::string& name) {
        QContextMenuEvent menu(
            QContextMenuEvent::Mouse, QPoint(5, 5), f.ApplyBut->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(f.ApplyBut, &menu);
        EXPECT_TRUE(f.PopupMenu1->isVisible());
        f.PopupMenu1->setActiveAction(f.ExportConfig);
        answer_file_dialog(name);
        QTest::keyClick(f.PopupMenu1, Qt::Key_Return);
    };
    do_export((folder / "setup.txt").string());
    EXPECT_EQ(dialogs, std::vector<std::string> { "SaveDialog1" });
    const fs::path exported = folder / "setup.INI";
    EXPECT_EQ(messages.back(), "Current configuration exported to file " + exported.string());
    EXPECT_FALSE(fs::exists(folder / "setup.txt"));
    EXPECT_NE(file_text(exported).find("DelayTimeMS=120"), std::string::npos);
    EXPECT_EQ(file_text(ini), saved);
    EXPECT_FALSE(f.changed());

    slide(f.DelayTBar, 130);
    QString question;
    answer_question(QMessageBox::No, &question);
    do_export((folder / "setup").string());
    EXPECT_EQ(question,
        QString::fromStdString(exported.string()) + " already exists.\n"
            + "Do you want to replace it?");
    EXPECT_NE(file_text(exported).find("DelayTimeMS=120"), std::string::npos);
    answer_question(QMessageBox::Yes);
    do_export(exported.string());
    EXPECT_NE(file_text(exported).find("DelayTimeMS=130"), std::string::npos);

    // Names differ by case: a name ending in ".ini" in any case is the file
    // written, and replacing it is asked about.
    const fs::path mine = folder / "mine.Ini";
    std::ofstream(mine) << "[Setup]\n";
    answer_question(QMessageBox::Yes, &question);
    do_export(mine.string());
    EXPECT_EQ(
        question.toStdString(), mine.string() + " already exists.\nDo you want to replace it?");
    EXPECT_NE(file_text(mine).find("DelayTimeMS=130"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "mine.INI"));

    // The exported name is forgotten: Apply saves the defaults file again.
    EXPECT_EQ(apply(), "Current Configuration saved as defaults.");
    EXPECT_NE(file_text(ini).find("DelayTimeMS=130"), std::string::npos);
}

TEST_F(SetupFormTest, ImportShowsTheFileAndAFailedImportChangesNothing)
{
    write_ini("ImageFileName=" + lake + "\nDelayTimeMS=90\n");
    const fs::path good = folder / "good.ini";
    const fs::path bad = folder / "bad.ini";
    std::ofstream(good) << "[Setup]\nImageFileName=" << pond << "\nDelayTimeMS=200\n";
    std::ofstream(bad) << "[Setup]\nImageFileName=" << boat << "\nDelayTimeMS=fast\n";
    TSetupForm& f = open();
    slide(f.WaveFactor1TBar, 50);
    const auto do_import = [this, &f](const fs::path& name) {
        answer_file_dialog(name.string());
        f.ImportConfig->trigger();
    };

    do_import(good);
    EXPECT_EQ(dialogs, std::vector<std::string> { "OpenDialog1" });
    EXPECT_EQ(messages.back(), "Configuration imported from " + good.string());
    EXPECT_EQ(f.FileTEdit->text().toStdString(), pond);
    EXPECT_EQ(f.DelayTBar->value(), 200);
    EXPECT_EQ(f.WaveFactor1TBar->value(), 17);
    EXPECT_FALSE(f.changed());

    slide(f.WaveFactor2TBar, 60);
    const Settings before = settings();
    do_import(bad);
    EXPECT_EQ(messages.back(), "'fast' is not a valid integer value");
    EXPECT_EQ(settings(), before);
    EXPECT_EQ(f.FileTEdit->text().toStdString(), pond);
    EXPECT_EQ(f.DelayTBar->value(), 200);
    EXPECT_TRUE(f.changed());

    // Neither import wrote anything; Apply writes the defaults file.
    EXPECT_EQ(file_text(ini), "[Setup]\nImageFileName=" + lake + "\nDelayTimeMS=90\n");
    EXPECT_EQ(apply(), "Current Configuration saved as defaults.");
    EXPECT_NE(file_text(ini).find("DelayTimeMS=200"), std::string::npos);
}

} // namespace
