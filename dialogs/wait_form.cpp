#include "dialogs/wait_form.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>

namespace {

constexpr int kClientWidth = 318;
constexpr int kClientHeight = 72;

} // namespace

TWaitForm::TWaitForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("WaitForm"));
    // Clicking it away must never end the program, even when no other
    // window is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kClientWidth, kClientHeight);
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    WaitLab = new QLabel(this);
    WaitLab->setObjectName(QStringLiteral("WaitLab"));
    QFont bold = font;
    bold.setBold(true);
    WaitLab->setFont(bold);
    WaitLab->setAlignment(Qt::AlignCenter);
    // 298 wide at (8, 29); as high as the font needs, but kept inside the
    // window for large desktop fonts.
    const int h = std::min(WaitLab->sizeHint().height(), kClientHeight - 29);
    WaitLab->setGeometry(8, 29, 298, h);
}

void TWaitForm::SetText(const std::string& text)
{
    WaitLab->setText(QString::fromStdString(text));
    QCoreApplication::processEvents();
}

std::string TWaitForm::Text() const
{
    return WaitLab->text().toStdString();
}

void TWaitForm::FormClick()
{
    close();
}

void TWaitForm::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    FormClick();
}

void TWaitForm::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    QWidget::showEvent(event);
}
