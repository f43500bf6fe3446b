#pragma once

#include <QDialog>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

// The modal prompt for the saver password. Returns the typed password, or
// nothing when the user cancels.
std::optional<std::string> ask_saver_password(QWidget* parent);

// Sets, changes or removes the saver password. Changing and removing need
// the old password. The dialog closes with Accepted once the stored password
// has been changed; mistakes are explained in the dialog, which stays open.
class PasswordChangeDialog : public QDialog {
    Q_OBJECT
public:
    explicit PasswordChangeDialog(QWidget* parent = nullptr);

    // Shown only while a password is in use.
    QLineEdit* OldPasswordEdit;
    QLineEdit* NewPasswordEdit;
    QLineEdit* ConfirmEdit;
    QLabel* MessageLab;
    QPushButton* OKButton;
    // Shown only while a password is in use.
    QPushButton* RemoveButton;

    void OKButtonClick();
    void RemoveButtonClick();

private:
    // True when no password is in use or the old one was typed correctly;
    // otherwise says so.
    bool old_password_accepted();
    void clear_fields();
    bool in_use_;
};

} // namespace velmora
