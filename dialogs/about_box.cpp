#include "dialogs/about_box.h"

#include "base/numbers.h"
#include "display/bitmap_view.h"
#include "display/preview_bitmaps.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int kClientWidth = 299;
constexpr int kClientHeight = 250;
constexpr int kPanel2Top = 12;
constexpr int kIconMargin = 5; // between Panel2's bevel and the picture

QLabel* centred_label(QWidget* parent, const char* name, const QFont& font, int top)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(4, top, parent->width() - 8, QFontMetrics(font).height() + 4);
    return label;
}

} // namespace

void open_home_page()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kHomePageUrl)));
}

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(kClientWidth, kClientHeight);
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    QFont bold = font;
    bold.setBold(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 281, 201);
    // A lowered outer and a raised inner bevel: an etched frame.
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel1->setLineWidth(1);

    Panel2 = new QFrame(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel2->setLineWidth(1);
    Panel2->move(0, kPanel2Top);

    ProgramIcon = new BitmapView(&picture_, Panel2);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));

    // Below the picture at its full height (MAIN and REFLECT: 78 rows).
    const int text_top = kPanel2Top + 90 + 10;
    ProductName = centred_label(Panel1, "ProductName", bold, text_top);
    ProductName->setText(QStringLiteral("Velmora"));
    Version = centred_label(Panel1, "Version", font, ProductName->geometry().bottom() + 4);
    ToWebLab = centred_label(Panel1, "ToWebLab", bold, Version->geometry().bottom() + 12);
    QPalette navy = ToWebLab->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    ToWebLab->setPalette(navy);
    ToWebLab->setCursor(Qt::PointingHandCursor);
    ToWebLab->installEventFilter(this);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    const int button_height = std::max(25, OKButton->sizeHint().height());
    OKButton->setGeometry((kClientWidth - 75) / 2, std::min(217, kClientHeight - button_height - 4),
        75, button_height);
    connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(150);
    connect(Timer1, &QTimer::timeout, this, &TAboutBox::Timer1Timer);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    FormActivate();
    QDialog::showEvent(event);
}

void TAboutBox::hideEvent(QHideEvent* event)
{
    // Closed by the window's close box or Escape as well as by OK.
    Timer1->stop();
    release_bitmaps();
    QDialog::hideEvent(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ToWebLab && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton
            && ToWebLab->rect().contains(mouse->position().toPoint())) {
            ToWebLabClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::FormActivate()
{
    Timer1->stop();
    Version->setText(QStringLiteral("Version " VELMORA_VERSION));
    ToWebLab->setText(QString::fromLatin1(kHomePageUrl));

    velmora::PreviewBitmaps bitmaps
        = velmora::load_preview_bitmaps("Could not locate resource bitmap!");
    main_ = std::move(bitmaps.main);
    reflect_ = std::move(bitmaps.reflect);
    reflect_.set_transparent(false); // frames are copied whole

    picture_ = velmora::Bitmap(main_.width(), main_.height() + reflect_.height());
    picture_.fill(velmora::make_color(0, 0, 0));
    velmora::draw(picture_, 0, 0, main_);
    ProgramIcon->resize(picture_.width(), picture_.height());

    const int bevel = Panel2->lineWidth();
    Panel2->resize(picture_.width() + 2 * bevel + 2 * kIconMargin,
        picture_.height() + 2 * bevel + 2 * kIconMargin);
    Panel2->move(static_cast<int>(velmora::round_half_even(
                     static_cast<long double>(Panel1->width() - Panel2->width()) * 0.5L)),
        Panel2->y());
    ProgramIcon->move(bevel + kIconMargin, bevel + kIconMargin);

    AnimationFrame = 1;
    draw_frame(AnimationFrame);
    Timer1->start();
}

void TAboutBox::Timer1Timer()
{
    draw_frame(AnimationFrame);
    AnimationFrame = AnimationFrame % velmora::kReflectFrames + 1;
}

void TAboutBox::OKButtonClick()
{
    Timer1->stop();
    release_bitmaps();
    accept();
}

void TAboutBox::ToWebLabClick()
{
    open_home_page();
}

void TAboutBox::draw_frame(int n)
{
    const int w = ProgramIcon->width();
    velmora::draw_rect(
        picture_, 0, main_.height(), reflect_, (n - 1) * w, 0, main_.width(), reflect_.height());
    ProgramIcon->update();
}

void TAboutBox::release_bitmaps()
{
    main_ = {};
    reflect_ = {};
}
