#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/transform_table.h"

namespace pellix {
namespace {

std::string Filter(const TransformSlot* s) { return std::string(s->filter, FilterLength(*s)); }

TEST(TransformTable, TwentySlotsThenFull) {
  TransformTable t{};
  for (int i = 0; i < 20; ++i) {
    const std::string code = "C" + std::to_string(i + 10);
    ASSERT_EQ(AddOrUpdate(t, code.c_str(), "+", 0), 1);
  }
  const TransformTable before = t;
  EXPECT_EQ(AddOrUpdate(t, "NEW", "+", 0), 0);
  EXPECT_EQ(std::memcmp(&before, &t, sizeof t), 0);
  EXPECT_EQ(AddOrUpdate(t, "C15", "++", 1), 1);  // an existing code still updates
  EXPECT_EQ(Filter(Find(t, "C15")), "++");
  EXPECT_EQ(Find(t, "C15"), GetAt(t, 5));
}

TEST(TransformTable, UpdateReplacesFilterAndFlag) {
  TransformTable t{};
  AddOrUpdate(t, "IBN", "+++", 1);
  AddOrUpdate(t, "IBN", nullptr, 0);
  const TransformSlot* s = Find(t, "IBN");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s, GetAt(t, 0));
  EXPECT_EQ(Filter(s), "");
  EXPECT_EQ(s->autoConvert, 0);
  EXPECT_EQ(GetAt(t, 1)->code[0], 0);
}

TEST(TransformTable, CodesAreThreeCharacters) {
  TransformTable t{};
  AddOrUpdate(t, "IBNX", "", 0);
  EXPECT_EQ(std::string(GetAt(t, 0)->code, 3), "IBN");
  EXPECT_NE(Find(t, "IBN"), nullptr);
  EXPECT_NE(Find(t, "IBNZZZ"), nullptr);
  EXPECT_EQ(Find(t, "IB"), nullptr);
  AddOrUpdate(t, "C", "", 0);  // a short code matches a type equal to it
  EXPECT_NE(Find(t, "C"), nullptr);
  EXPECT_EQ(Find(t, "CUE"), nullptr);
  EXPECT_EQ(Find(t, "ibn"), nullptr);  // case counts
}

TEST(TransformTable, RemoveFreesTheLowestSlot) {
  TransformTable t{};
  AddOrUpdate(t, "AAA", "", 0);
  AddOrUpdate(t, "BBB", "", 0);
  AddOrUpdate(t, "CCC", "", 0);
  EXPECT_EQ(Remove(t, "BBB"), 1);
  EXPECT_EQ(Find(t, "BBB"), nullptr);
  EXPECT_EQ(Remove(t, "BBB"), 0);
  EXPECT_EQ(Remove(t, "ZZZ"), 0);
  EXPECT_EQ(Remove(t, ""), 0);
  EXPECT_EQ(Remove(t, nullptr), 0);
  AddOrUpdate(t, "DDD", "", 0);
  EXPECT_EQ(Find(t, "DDD"), GetAt(t, 1));
}

TEST(TransformTable, RefusesEmptyAndCutsLongFilters) {
  TransformTable t{};
  EXPECT_EQ(AddOrUpdate(t, nullptr, "+", 0), 0);
  EXPECT_EQ(AddOrUpdate(t, "", "+", 0), 0);
  EXPECT_EQ(AddOrUpdate(t, "UPA", std::string(40, '+').c_str(), 0x10001), 1);
  const TransformSlot* s = Find(t, "UPA");
  EXPECT_EQ(Filter(s), std::string(34, '+'));
  EXPECT_EQ(s->autoConvert, 1);  // the low 16 bits
}

TEST(TransformTable, ClearEmptiesAndGetAtBounds) {
  TransformTable t{};
  AddOrUpdate(t, "UPA", "+", 1);
  Clear(t);
  EXPECT_EQ(Find(t, "UPA"), nullptr);
  const TransformTable zero{};
  EXPECT_EQ(std::memcmp(&zero, &t, sizeof t), 0);
  EXPECT_EQ(GetAt(t, -1), nullptr);
  EXPECT_EQ(GetAt(t, 20), nullptr);
  EXPECT_NE(GetAt(t, 19), nullptr);
  EXPECT_EQ(Find(t, ""), nullptr);
  EXPECT_EQ(Find(t, nullptr), nullptr);
}

TEST(TransformTable, LayoutIsFixed) {
  EXPECT_EQ(sizeof(TransformSlot), 40u);
  EXPECT_EQ(offsetof(TransformSlot, autoConvert), 38u);
  EXPECT_EQ(sizeof(TransformTable), 800u);
}

}  // namespace
}  // namespace pellix
