// title.cpp -- the program's title: display name and version.
#include "program_info.h"

namespace tessary {

std::string GetTitle() {
    return ProductName() + " " + ProductVersion();
}

} // namespace tessary
