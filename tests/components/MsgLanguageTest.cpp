#include <gtest/gtest.h>

#include "components/MsgLanguage.h"

// The language files reach the list through its published property: the
// round trips in the language-file tests cover that.
TEST(MsgLanguage, ItemsAreCopiedNotShared) {
  TComponent owner(nullptr);
  auto* ml = new TMsgLanguage(&owner);
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
}
