// program_info.h -- the program's identity: display name, registry key,
// version text and the title built from them.
#pragma once

#include <string>
#include <string_view>

namespace tessary {

// One row of the table of the maker's products.
struct TProductInfo {
    const char* Code;   // two letters that identify the product
    const char* Name;   // display name
    const char* RegKey; // key path under a registry root, ending in a backslash
};

// Start-up steps, run once in this order before any window exists.
void SelectProduct();   // sets ProductName and ProductRegKey from this program's row
void ReadFileVersion(); // sets ProductVersion from the version the build stamped in

// Stores `fileVersion` (a four-part dotted version such as "1.1.0.0") as
// ProductVersion, shortened by ShortenFileVersion. An empty text leaves the
// version empty, as for a program file without a version record.
void ApplyFileVersion(std::string_view fileVersion);

// Drops a trailing ".0.0": "1.1.0.0" gives "1.1", "1.2.3.4" stays whole.
std::string ShortenFileVersion(std::string_view fileVersion);

// The four-part version of this build ("1.1.0.0"), before shortening.
const char* BuildFileVersion();

const std::string& ProductName();    // "Quenlor Tessary" after SelectProduct
const std::string& ProductRegKey();  // "SOFTWARE\Quenlor\Tessary\" after SelectProduct
const std::string& ProductVersion(); // "1.1" after ReadFileVersion; may be empty

// "%s %s" of ProductName and ProductVersion: "Quenlor Tessary 1.1".
std::string GetTitle();
// ProductRegKey: the key under HKEY_CURRENT_USER that holds the user's settings.
std::string GetRegKey();

} // namespace tessary
