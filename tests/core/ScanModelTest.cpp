#include "TessaryCore/ScanResult.hpp"

#include <gtest/gtest.h>

using namespace tessary;

TEST(ScanResultTest, AddAndGet) {
    ScanResult res;
    Item& a = res.add(Item("a", "", "A", ItemKind::dir, 1));
    EXPECT_EQ(res.get("a"), &a);
    EXPECT_EQ(res.get("b"), nullptr);
}
