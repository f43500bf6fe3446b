#pragma once

#include "imaging/bitmap.h"

#include <QColor>
#include <QDialog>
#include <cstdint>
#include <string>

class BitmapView;
class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QStatusBar;
class QTimer;

// One of the two round knobs beside the water-edge line: red while it can be
// dragged, white after the line was cleared.
class LocateKnob : public QWidget {
    Q_OBJECT
public:
    explicit LocateKnob(QWidget* parent = nullptr);
    QColor fill() const { return fill_; }
    void set_fill(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_ = Qt::red;
};

// The water-edge locator: shows a picture scaled into a fixed view, lets the
// user click a horizontal line onto it and drag it by two knobs, and returns
// the line's distance from the picture's bottom row in picture pixels.
//
// One instance serves every opening. The caller sets the input fields, runs
// exec() (modal) and reads PixelsFromBottom and UseBottom afterwards. The
// scaled view is kept between openings and reused while the same file is
// opened again. A picture that cannot be loaded is reported with
// "Error Loading Image <file>!"; the dialog then never shows, closes itself
// and leaves the caller's values as they were.
class TLocateForm : public QDialog {
    Q_OBJECT
public:
    explicit TLocateForm(QWidget* parent = nullptr);
    ~TLocateForm() override;

    // Inputs and outputs, set before exec() and read after it.
    std::string PictureFile; // in: the picture to show
    // in and out: the water edge's distance from the picture's bottom row;
    // 0 (or less) means no line.
    std::int32_t PixelsFromBottom = 0;
    bool MirrorView = false; // in: show the picture mirrored; cleared at closing
    bool ShowUseBottom = false; // in: show UseBottomCBox
    bool UseBottom = false; // in and out: state of UseBottomCBox

    // Handlers.
    void FormCreate();
    void FormActivate();
    void FormClose();
    void Image1MouseDown(int x, int y);
    void Image1MouseMove(int x, int y);
    // These three serve both knobs; (x, y) is the pointer within the knob.
    void Shape2MouseDown(int x, int y);
    void Shape2MouseMove(int x, int y);
    void Shape2MouseUp(int x, int y);
    void ResetButClick();
    void CloseButClick();
    void UseBottomCBoxClick();
    void Timer1Timer();

    // Methods.
    void Build(); // load and scale PictureFile
    void set_cursor(); // place line and knobs from PixelsFromBottom
    void SetMouseClick(); // fix or clear the line
    void ShowMarks();
    void HideMarks();
    void MakeOldMarks();

    // Conversions between a line position in the view (rows from the view's
    // top) and a distance from the picture's bottom row. A picture value
    // whose line would lie outside the view gives -1.
    std::int32_t picture_value(int line_position) const;
    int line_position_for(std::int32_t picture_value) const;

    // State, for inspection.
    const std::string& built_file() const { return built_file_; }
    bool mirrored() const { return mirrored_; }
    bool activated() const { return activated_; }
    bool load_failed() const { return load_failed_; }
    const std::string& failure_text() const { return failure_text_; }
    bool waiting_for_click() const { return waiting_for_click_; }
    int line_position() const { return line_position_; }
    long double view_scale() const { return view_scale_; }
    bool knobs_active() const { return knobs_active_; }
    bool dragging() const { return dragging_; }
    int picture_height() const { return picture_height_; }
    int view_width() const { return view_width_; }
    int view_height() const { return view_height_; }
    const velmora::Bitmap& view() const { return view_; }
    // The text of StatusBar1's one panel.
    std::string status_text() const;

    // Controls.
    QWidget* Panel1 = nullptr;
    BitmapView* Image1 = nullptr;
    LocateKnob* Shape1 = nullptr;
    LocateKnob* Shape2 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* InstructionLab = nullptr;
    QCheckBox* UseBottomCBox = nullptr;
    QPushButton* ResetBut = nullptr;
    QPushButton* CloseBut = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;

public slots:
    void setVisible(bool visible) override;
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show_status(const std::string& text);
    void set_instruction(const char* text);
    void line_out_of_sight();

    std::string built_file_;
    bool mirrored_ = false;
    bool activated_ = false;
    bool load_failed_ = false;
    std::string failure_text_;
    bool failure_shown_ = false;
    bool opening_failed_ = false; // this opening's picture could not be loaded
    bool waiting_for_click_ = true;
    int line_position_ = -1;
    long double view_scale_ = 1;
    bool knobs_active_ = false;
    bool dragging_ = false;
    int grab_row_ = 0;
    int picture_height_ = 0;
    int view_width_ = 0;
    int view_height_ = 0;
    velmora::Bitmap view_; // Image1's bitmap, in the screen's own pixels
    qreal built_ratio_ = 1; // the device-pixel ratio view_ was reduced for
    QLabel* status_label_ = nullptr; // StatusBar1's panel
};
