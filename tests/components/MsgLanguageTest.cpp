#include <gtest/gtest.h>

#include "components/MsgLanguage.h"

TEST(MsgLanguage, ItemsAreCopiedAndPublished) {
  TComponent owner(nullptr);
  auto* ml = new TMsgLanguage(&owner);
  ml->SetName("ml");
  TStringList source;
  source.Add("Attention");
  source.Add("Error");
  ml->SetItems(source);
  source.SetString(0, "changed");
  source.Add("third");
  ASSERT_EQ(ml->Items().Count(), 2);
  EXPECT_EQ((*ml)[0], "Attention");
  EXPECT_EQ((*ml)[1], "Error");
  EXPECT_THROW((*ml)[2], EListError);

  // The language files reach the list through the published property.
  TStrings* published = GetStringsProp(ml, "items");
  ASSERT_NE(published, nullptr);
  published->SetString(1, "Fehler");
  EXPECT_EQ((*ml)[1], "Fehler");
  EXPECT_EQ(owner.FindComponent("ML"), ml);
}
