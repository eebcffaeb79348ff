// links_test.cpp -- the link table and the replaceable opener.
#include "links.h"

#include <gtest/gtest.h>

#include <cstdint>

#include <string>
#include <utility>
#include <vector>

namespace tessary {
namespace {

TEST(GetLink, SupportForTwoHomeForThreeAndEveryOtherId) {
    EXPECT_EQ(GetLink(2), "https://www.quenlor.example/support/");
    EXPECT_EQ(GetLink(3), "https://www.quenlor.example/");
    for (int32_t id : {0, 1, 4, 100, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(GetLink(id), GetLink(3)) << "id " << id;
    }
}

TEST(GetLink, SupportPageIsTheHomePagePlusSupport) {
    EXPECT_EQ(std::string(LinkSupport), std::string(LinkHome) + "support/");
    EXPECT_TRUE(std::string(LinkHome).ends_with('/'));
    // The caption of the home link is the host as a reader sees it.
    EXPECT_EQ(std::string(LinkHome), std::string("https://") + HomeLinkText + "/");
}

struct TRecordedOpen {
    TLinkOwner Owner;
    std::string Address;
};

// Installs a recording opener for the test's lifetime.
class OpenLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        FOld = SetOpenLinkFunction([this](TLinkOwner owner, const std::string& address) {
            Opened.push_back({owner, address});
        });
    }
    void TearDown() override { SetOpenLinkFunction(std::move(FOld)); }

    std::vector<TRecordedOpen> Opened;

private:
    TOpenLinkFunction FOld;
};

TEST_F(OpenLinkTest, HandsTheAddressAndTheOwnerToTheOpenerOnce) {
    int window = 0;
    OpenLink(&window, "https://www.quenlor.example/x");
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0].Owner, &window);
    EXPECT_EQ(Opened[0].Address, "https://www.quenlor.example/x");
}

TEST_F(OpenLinkTest, OnlineSupportOpensTheSupportPage) {
    int window = 0;
    CallOnlineSupport(&window);
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0].Owner, &window);
    EXPECT_EQ(Opened[0].Address, GetLink(LinkSupportId));
}

TEST(OpenLink, WithoutAnOpenerNothingHappens) {
    TOpenLinkFunction old = SetOpenLinkFunction({});
    OpenLink(nullptr, GetLink(LinkHomeId)); // must neither crash nor throw
    SetOpenLinkFunction(std::move(old));
}

} // namespace
} // namespace tessary
