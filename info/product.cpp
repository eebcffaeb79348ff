// product.cpp -- the product record of this program and the values taken from it.
#include "program_info.h"

#include <cstring>
#include <iterator>

namespace tessary {

namespace {

// The maker's products that this program knows of; only its own row is kept.
constexpr TProductInfo kProducts[] = {
    {"TS", "Quenlor Tessary", "SOFTWARE\\Quenlor\\Tessary\\"},
};

constexpr const char* kOwnCode = "TS";

std::string gProductName;
std::string gProductRegKey;

} // namespace

void SelectProduct() {
    for (const TProductInfo& product : kProducts) {
        if (std::strcmp(product.Code, kOwnCode) == 0) {
            gProductRegKey = product.RegKey;
            gProductName = product.Name;
            return;
        }
    }
}

const std::string& ProductName() {
    return gProductName;
}
const std::string& ProductRegKey() {
    return gProductRegKey;
}
std::string GetRegKey() {
    return gProductRegKey;
}

} // namespace tessary
