#include <gtest/gtest.h>

#include "platform/plist/PropertyList.h"

TEST(PropertyList, ReadsAnEmptyArrayBack) {
    auto xml = plist::serialize(plist::Value(plist::Value::Array()), plist::Format::Xml);
    ASSERT_TRUE(xml.ok());
    auto back = plist::parse(*xml);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back->format, plist::Format::Xml);
    EXPECT_TRUE(back->hasPlistElement);
}
