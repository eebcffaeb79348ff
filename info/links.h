// links.h -- the maker's web pages by link id, and handing an address to the
// desktop, which opens it with the user's default handler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tessary {

// Link ids: the online support page and the home page. Every other id means
// the home page.
constexpr int32_t LinkSupportId = 2;
constexpr int32_t LinkHomeId = 3;

// The addresses themselves; the support page is the home page plus "support/".
inline constexpr const char* LinkHome = "https://www.quenlor.example/";
inline constexpr const char* LinkSupport = "https://www.quenlor.example/support/";
// The home page's host name as a reader sees it, without scheme and path.
inline constexpr const char* HomeLinkText = "www.quenlor.example";

// The address of a link id: LinkSupport for 2, LinkHome for 3 and any other id.
std::string GetLink(int32_t id);

// The window on whose behalf an address is opened. This library does not
// know windows; the desktop's opener does (the wizard's is a QWidget).
using TLinkOwner = void*;
using TOpenLinkFunction = std::function<void(TLinkOwner owner, const std::string& address)>;

// Hands `address` to the installed opener and returns at once: whether a
// browser came up is not learned and not reported. A program that shows
// links installs the desktop's opener at start (the wizard does); without
// one nothing is opened.
void OpenLink(TLinkOwner owner, const std::string& address);

// Installs an opener and returns the one it replaced; an empty function
// removes it.
TOpenLinkFunction SetOpenLinkFunction(TOpenLinkFunction function);

// Opens the online support page on behalf of `owner`.
void CallOnlineSupport(TLinkOwner owner);

} // namespace tessary
