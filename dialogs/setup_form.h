#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QButtonGroup;
class QCheckBox;
class QFileDialog;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QSlider;
class QWidget;
class TAboutBox;
class TLocateForm;
class TOverlayForm;

// The picture dialog's filters: "All" first, then one per format.
QStringList picture_filters();

// A frame of radio buttons of which at most one is checked. ItemIndex is the
// position of the checked button, -1 when none is.
class RadioGroup : public QGroupBox {
public:
    RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent);

    int ItemIndex() const;
    // Checks button `index` (none for an index outside the items) without
    // running the group's click handling.
    void setItemIndex(int index);
    QButtonGroup* buttons() const { return buttons_; }

private:
    QButtonGroup* buttons_;
};

// A label that shows an address as a link and runs `on_click` when clicked.
class LinkLabel : public QLabel {
public:
    LinkLabel(bool bold, QWidget* parent);
    std::function<void()> on_click;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The configuration window, the main window of the configure mode. Every
// control writes its setting into the one settings record the moment it
// changes; the INI file is written only by "Apply/Save/Load" and by an export.
// The dialogs it opens (the water-edge locator, the overlay placement dialog,
// the about box) are created once for the whole mode and handed in with
// use_dialogs; a dialog not handed in is created on first use.
class TSetupForm : public QDialog {
    Q_OBJECT
public:
    explicit TSetupForm(QWidget* parent = nullptr);
    ~TSetupForm() override;

    void use_dialogs(TLocateForm* locate, TOverlayForm* overlay, TAboutBox* about);

    // Creation and activation.
    void FormCreate();
    void FormActivate();
    void show_settings();

    void DisplayTypeRGClick();

    // Single-image panel.
    void SelectImageButClick();
    void FileTEditChange();
    void ShiftHorCBoxClick();
    void ShiftPixelsTEditChange();
    void LocateButClick();
    void OverlayCBoxClick();
    void OverlayTEditChange();
    void SelectOverlayButClick();
    void XOffTEditChange();
    void YOffTEditChange();
    void OZoomTEditChange();
    void OverlayReflectionCBoxClick();
    void OverlayLocButClick();

    // Multiple-images panel.
    void AddEntryButClick();
    // Appends every picture of a chosen folder (and, when asked, of the
    // folders below it) as entries, sorted by name, without a water edge.
    void AddFolderButClick();
    void DelEntryButClick();
    void ImageLBoxKeyDown(int key);
    void ImageLBoxDblClick();
    void DefineEdgeButClick();
    void DisableReflectionCBoxClick();
    void MultDelayTbarChange();
    void write_multiple_images();
    void read_multiple_images();
    void UpdateListWidth();

    // Adjustments and viewing size.
    void RIHeightTBarChange();
    void BrightnessTBarChange();
    void WaveFactor1TBarChange();
    void WaveFactor2TBarChange();
    void NumSetRefImgTBarChange();
    void DelayTBarChange();
    void DefaultButClick();
    void ImageResCodeRGroupClick();

    // Bottom row, the Apply button's menu and the links.
    void ApplyButClick();
    void ExportConfigClick();
    void ImportConfigClick();
    void TestButClick();
    void AboutButClick();
    void CancelButClick();
    void WebLabClick();
    void WebLab2Click();

    // Runs a file dialog of the form and answers the file chosen, empty when
    // cancelled. By default the dialog is shown modally; tests of the
    // dialog's own handling answer in its place.
    using FileDialogRunner = std::function<std::string(QFileDialog& dialog)>;
    void set_file_dialog_runner(FileDialogRunner runner);

    // The settings were edited since they were last loaded or saved.
    bool changed() const { return changed_; }
    // The widest list entry in the list's font: its horizontal scroll extent.
    int list_extent() const { return list_extent_; }

    RadioGroup* DisplayTypeRG = nullptr;
    QWidget* SingleImagePanel = nullptr;
    QWidget* MultipleImagePanel = nullptr;

    QLabel* Label6 = nullptr;
    QLineEdit* FileTEdit = nullptr;
    QPushButton* SelectImageBut = nullptr;
    QCheckBox* ShiftHorCBox = nullptr;
    QLabel* ShiftPixelsLab = nullptr;
    QLineEdit* ShiftPixelsTEdit = nullptr;
    QPushButton* LocateBut = nullptr;
    QCheckBox* OverlayCBox = nullptr;
    QCheckBox* OverlayReflectionCBox = nullptr;
    QLineEdit* OverlayTEdit = nullptr;
    QPushButton* SelectOverlayBut = nullptr;
    QLabel* XOffLab = nullptr;
    QLineEdit* XOffTEdit = nullptr;
    QLabel* YOffLab = nullptr;
    QLineEdit* YOffTEdit = nullptr;
    QLabel* OZoomLab = nullptr;
    QLineEdit* OZoomTEdit = nullptr;
    QPushButton* OverlayLocBut = nullptr;
    LinkLabel* WebLab = nullptr;

    QListWidget* ImageLBox = nullptr;
    QLabel* NumImagesLab = nullptr;
    QPushButton* AddEntryBut = nullptr;
    QPushButton* AddFolderBut = nullptr;
    QPushButton* DelEntryBut = nullptr;
    QPushButton* DefineEdgeBut = nullptr;
    QCheckBox* DisableReflectionCBox = nullptr;
    QLabel* Label1 = nullptr;
    QSlider* MultDelayTbar = nullptr;
    QLabel* MultDelayLab = nullptr;
    LinkLabel* WebLab2 = nullptr;

    RadioGroup* ImageResCodeRGroup = nullptr;

    QSlider* RIHeightTBar = nullptr;
    QLabel* RIHeightLab = nullptr;
    QSlider* BrightnessTBar = nullptr;
    QLabel* BrightnessLab = nullptr;
    QSlider* WaveFactor1TBar = nullptr;
    QLabel* WaveFactor1Lab = nullptr;
    QSlider* WaveFactor2TBar = nullptr;
    QLabel* WaveFactor2Lab = nullptr;
    QSlider* NumSetRefImgTBar = nullptr;
    QLabel* NumSetRefImgLab = nullptr;
    QSlider* DelayTBar = nullptr;
    QLabel* DelayLab = nullptr;
    QPushButton* DefaultBut = nullptr;

    QPushButton* AboutBut = nullptr;
    QPushButton* TestBut = nullptr;
    QPushButton* ApplyBut = nullptr;
    QPushButton* CancelBut = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* ExportConfig = nullptr;
    QAction* ImportConfig = nullptr;

    QFileDialog* OpenPictureDialog1 = nullptr;
    // The folder dialog of "Add Folder...", with its sub-folder choice.
    QFileDialog* OpenFolderDialog1 = nullptr;
    QCheckBox* SubFoldersCBox = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void reject() override;

private:
    void create_controls();
    QWidget* create_single_image_panel();
    QWidget* create_multiple_image_panel();
    QGroupBox* create_adjustments();
    void create_file_dialogs();

    TLocateForm& locator();
    TOverlayForm& overlay_dialog();
    TAboutBox& about_box();

    std::string run_file_dialog(QFileDialog* dialog);
    // Runs the picture dialog; the chosen file, or empty when cancelled.
    std::string choose_picture();
    // Points the picture dialog at the folder and name of `path`.
    void propose_picture(const std::string& path);
    // Opens the locator for a picture; false when it could not be shown.
    bool locate(const std::string& picture, int& pixels, bool& use_bottom);
    // Whether `path` may be written by an export: asks before replacing a file.
    bool may_replace(const std::string& path);
    // Appends entries with no water edge, as one added entry, for those of
    // `files` the list can take, and says what it left out and why.
    void append_entries(std::vector<std::string> files);
    void set_overlay_controls_visible(bool visible);
    void set_adjustment(QSlider* bar, int value);

    bool first_activation_ = true;
    bool changed_ = false;
    bool closing_ = false;
    std::string config_file_name_;
    int list_extent_ = 0;
    FileDialogRunner file_dialog_runner_;

    TLocateForm* locate_ = nullptr;
    TOverlayForm* overlay_ = nullptr;
    TAboutBox* about_ = nullptr;
    // Dialogs this form had to create itself.
    std::unique_ptr<TLocateForm> own_locate_;
    std::unique_ptr<TOverlayForm> own_overlay_;
    std::unique_ptr<TAboutBox> own_about_;
};
