#pragma once

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace velmora {

// The saver password: stored only as a yescrypt hash in a file readable and
// writable only by its owner, under $XDG_CONFIG_HOME/velmora/ (default
// ~/.config/velmora/). A password "is in use" exactly when that file holds a
// valid hash.
class SaverPassword {
public:
    // Full path of the hash file.
    static std::string file_path();
    // True when the hash file holds a valid hash.
    static bool in_use();
    // Compares in constant time against the stored hash; false when none.
    static bool check(const std::string& password);
    // Stores the hash of a new password (throws velmora::Error on failure).
    static void set(const std::string& password);
    // Removes the password (no hash file afterwards).
    static void remove();

    // Asks for the password in a modal prompt over `parent` and answers
    // whether it was right; false when cancelled. True when no password is in
    // use.
    static bool verify(QWidget* parent);

    // Replaces the modal prompt (tests answer it without a person). The
    // prompt returns the typed password, or nothing when cancelled. An empty
    // function restores the real prompt.
    using Prompt = std::function<std::optional<std::string>(QWidget* parent)>;
    static void set_prompt(Prompt prompt);
};

} // namespace velmora
