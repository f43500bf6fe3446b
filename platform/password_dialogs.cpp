#include "platform/password_dialogs.h"

#include "base/error.h"
#include "platform/saver_password.h"
#include "platform/window_system.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFormLayout>
#include <QInputEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

namespace velmora {

namespace {

    // The typed text as UTF-8; the caller wipes it after use.
    std::string take_text(QLineEdit* edit)
    {
        const QByteArray utf8 = edit->text().toUtf8();
        std::string text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
        edit->clear();
        return text;
    }

    void wipe(std::string& secret)
    {
        explicit_bzero(secret.data(), secret.size());
        secret.clear();
    }

    // A Wayland compositor leaves the keyboard with the full-screen saver
    // when the prompt opens over it. While the prompt shows, keys typed into
    // any other window of the program go to the prompt, and no other window
    // takes input: the prompt is modal this way instead.
    class KeysToPrompt : public QObject {
    public:
        explicit KeysToPrompt(QDialog& prompt)
            : prompt_(prompt)
        {
            QCoreApplication::instance()->installEventFilter(this);
        }
        ~KeysToPrompt() override { QCoreApplication::instance()->removeEventFilter(this); }
        KeysToPrompt(const KeysToPrompt&) = delete;
        KeysToPrompt& operator=(const KeysToPrompt&) = delete;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            const auto* widget = qobject_cast<QWidget*>(watched);
            if (!widget || !dynamic_cast<QInputEvent*>(event) || widget->window() == &prompt_)
                return false;
            if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
                QWidget* focus = prompt_.focusWidget();
                QCoreApplication::sendEvent(focus ? focus : &prompt_, event);
            }
            return true;
        }

    private:
        QDialog& prompt_;
    };

    QLineEdit* password_edit(QWidget* parent)
    {
        auto* edit = new QLineEdit(parent);
        edit->setEchoMode(QLineEdit::Password);
        edit->setMaxLength(256);
        return edit;
    }

} // namespace

std::optional<std::string> ask_saver_password(QWidget* parent)
{
    QDialog dialog(parent);
    // Over the full-screen saver, which stays on top of everything else.
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    dialog.setWindowTitle(QStringLiteral("Velmora"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Enter the screen saver password:"), &dialog));
    QLineEdit* edit = password_edit(&dialog);
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    edit->setFocus();
    bool accepted = false;
    if (on_wayland()) {
        const KeysToPrompt keys(dialog);
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        dialog.show();
        loop.exec();
        accepted = dialog.result() == QDialog::Accepted;
    } else {
        accepted = dialog.exec() == QDialog::Accepted;
    }
    std::string typed = take_text(edit);
    if (!accepted) {
        wipe(typed);
        return std::nullopt;
    }
    return typed;
}

PasswordChangeDialog::PasswordChangeDialog(QWidget* parent)
    : QDialog(parent)
    , OldPasswordEdit(password_edit(this))
    , NewPasswordEdit(password_edit(this))
    , ConfirmEdit(password_edit(this))
    , MessageLab(new QLabel(this))
    , OKButton(new QPushButton(QStringLiteral("OK"), this))
    , RemoveButton(new QPushButton(QStringLiteral("Remove Password"), this))
    , in_use_(SaverPassword::in_use())
{
    setWindowTitle(QStringLiteral("Change Screen Saver Password"));
    auto* layout = new QVBoxLayout(this);
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Old password:"), OldPasswordEdit);
    fields->addRow(QStringLiteral("New password:"), NewPasswordEdit);
    fields->addRow(QStringLiteral("Confirm new password:"), ConfirmEdit);
    fields->setRowVisible(OldPasswordEdit, in_use_);
    layout->addLayout(fields);
    MessageLab->setWordWrap(true);
    layout->addWidget(MessageLab);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(OKButton, QDialogButtonBox::AcceptRole);
    buttons->addButton(RemoveButton, QDialogButtonBox::DestructiveRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    RemoveButton->setVisible(in_use_);
    layout->addWidget(buttons);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &PasswordChangeDialog::OKButtonClick);
    connect(RemoveButton, &QPushButton::clicked, this, &PasswordChangeDialog::RemoveButtonClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    (in_use_ ? OldPasswordEdit : NewPasswordEdit)->setFocus();
}

bool PasswordChangeDialog::old_password_accepted()
{
    if (!in_use_)
        return true;
    std::string old_password = take_text(OldPasswordEdit);
    const bool right = SaverPassword::check(old_password);
    wipe(old_password);
    if (!right) {
        clear_fields();
        MessageLab->setText(QStringLiteral("The old password is not correct."));
    }
    return right;
}

void PasswordChangeDialog::clear_fields()
{
    OldPasswordEdit->clear();
    NewPasswordEdit->clear();
    ConfirmEdit->clear();
}

void PasswordChangeDialog::OKButtonClick()
{
    if (NewPasswordEdit->text().isEmpty()) {
        MessageLab->setText(in_use_ ? QStringLiteral("Type a new password, or remove the password.")
                                    : QStringLiteral("Type a new password."));
        return;
    }
    if (NewPasswordEdit->text() != ConfirmEdit->text()) {
        NewPasswordEdit->clear();
        ConfirmEdit->clear();
        MessageLab->setText(QStringLiteral("The new passwords do not match."));
        return;
    }
    if (!old_password_accepted())
        return;
    std::string password = take_text(NewPasswordEdit);
    ConfirmEdit->clear();
    try {
        SaverPassword::set(password);
    } catch (const Error& error) {
        wipe(password);
        MessageLab->setText(QString::fromStdString(error.what()));
        return;
    }
    wipe(password);
    accept();
}

void PasswordChangeDialog::RemoveButtonClick()
{
    if (!old_password_accepted())
        return;
    clear_fields();
    try {
        SaverPassword::remove();
    } catch (const Error& error) {
        MessageLab->setText(QString::fromStdString(error.what()));
        return;
    }
    accept();
}

} // namespace velmora
