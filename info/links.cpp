// links.cpp -- the link table and the replaceable opener.
#include "links.h"

#include <utility>

namespace tessary {

namespace {

TOpenLinkFunction& Opener() {
    static TOpenLinkFunction opener;
    return opener;
}

} // namespace

std::string GetLink(int32_t id) {
    return id == LinkSupportId ? LinkSupport : LinkHome;
}

void OpenLink(TLinkOwner owner, const std::string& address) {
    if (const auto& opener = Opener()) {
        opener(owner, address);
    }
}

TOpenLinkFunction SetOpenLinkFunction(TOpenLinkFunction function) {
    return std::exchange(Opener(), std::move(function));
}

void CallOnlineSupport(TLinkOwner owner) {
    OpenLink(owner, GetLink(LinkSupportId));
}

} // namespace tessary
