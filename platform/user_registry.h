// user_registry.h -- the per-user registry store (HKEY_CURRENT_USER).
//
// A key path such as "SOFTWARE\Quenlor\Tessary\" maps to a folder under the
// user's configuration folder ($XDG_CONFIG_HOME, by default ~/.config), here
// ~/.config/Quenlor/Tessary/; the key's text values live in a small INI file
// in that folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessary {

class TUserRegKey {
public:
    // Opens the key; with `create`, makes its folder (and parents) when
    // missing. Empty when the key does not exist or cannot be created.
    static std::optional<TUserRegKey> Open(std::string_view keyPath, bool create);
    // Whether Open with `create` would succeed, found without making anything:
    // the key exists, or the nearest folder of its path that does is ours to
    // write in.
    static bool CanOpen(std::string_view keyPath);

    // The text value `name`, or nothing when it is missing or unreadable.
    std::optional<std::string> ReadString(const std::string& name) const;
    // Stores a text value; false when it cannot be written.
    bool WriteString(const std::string& name, const std::string& value) const;

    const std::string& Folder() const { return FFolder; }

private:
    explicit TUserRegKey(std::string folder) : FFolder(std::move(folder)) {}
    std::string FFolder; // with a trailing "/"
};

// The folder that a key path maps to, with a trailing "/"; empty when the
// user's configuration folder cannot be determined.
std::string UserRegKeyFolder(std::string_view keyPath);

} // namespace tessary
