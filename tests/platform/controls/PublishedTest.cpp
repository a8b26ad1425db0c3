// Published properties read and written by name on a form with nested
// components, as the language files do.
#include <gtest/gtest.h>

#include "DemoForm.h"

TEST(Published, PropertiesByNameOnNestedComponentsInCreationOrder) {
  TDemoForm form(nullptr);
  EXPECT_EQ(form.ClassName(), "TDemoForm");
  EXPECT_EQ(form.FindComponent("button1"), form.Button1);
  EXPECT_EQ(form.FindComponent("RadioButton2"), form.RadioButton2);  // nested in a group box
  EXPECT_EQ(form.Components(0), form.MainMenu1);
  EXPECT_LT(form.pnlTop->ComponentIndex(), form.Button1->ComponentIndex());
  EXPECT_THROW(form.Edit1->SetName("button1"), EComponentError);

  EXPECT_EQ(GetStrProp(&form, "Caption"), "Every control");
  SetStrProp(form.FindComponent("Button1"), "caption", "&Start");
  EXPECT_EQ(form.Button1->Caption(), "&Start");
  SetStrProp(form.Edit1, "Text", "42");
  EXPECT_EQ(form.Edit1->Text(), "42");
  SetStrProp(form.Open1, "Caption", "&Load...");
  EXPECT_EQ(form.Open1->Caption(), "&Load...");
  EXPECT_EQ(GetStrProp(form.sbOpen, "Hint"), "Open a project");
  EXPECT_THROW(GetStrProp(form.Timer1, "Caption"), EInvalidOperation);

  TPropList editProps = GetPropList(form.Edit1);
  EXPECT_EQ(FindProp(editProps, "Caption"), nullptr);  // an edit's text is its content
  EXPECT_NE(FindProp(editProps, "Text"), nullptr);

  TPropList props = GetPropList(form.ComboBox1);
  const TPropInfo* items = FindProp(props, "items");
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->Kind, pkStrings);
  form.ComboBox1->SetItemIndex(1);
  items->Strings()->SetString(1, "Deutsch (neu)");
  EXPECT_EQ(form.ComboBox1->ItemIndex(), 1);
  EXPECT_EQ(form.ComboBox1->Text(), "Deutsch (neu)");
  EXPECT_EQ(GetStringsProp(form.Memo1, "Lines")->Strings(1), "http://example.org/docs/");

  props = GetPropList(form.StatusBar1);
  const TPropInfo* panels = FindProp(props, "Panels");
  ASSERT_NE(panels, nullptr);
  ASSERT_EQ(panels->Kind, pkCollection);
  SetStrProp(panels->Collection()->Items(2), "Text", "Ready");
  EXPECT_EQ(form.StatusBar1->Panel(2)->Text(), "Ready");
  EXPECT_THROW(panels->Collection()->Items(3), EListError);
  props = GetPropList(form.ListView1);
  EXPECT_EQ(GetStrProp(FindProp(props, "Columns")->Collection()->Items(0), "Caption"), "URL");
}
