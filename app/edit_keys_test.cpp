// The MySLE decisions message by message, and start-up's Insert toggle.
#include "app/edit_keys.h"

#include <gtest/gtest.h>

namespace app {
namespace {

bool same(EditDecision d, bool handled, EditEffect effect) {
  return d.handled == handled && d.effect == effect;
}

TEST(EditKeys, ClickIntoABlankFieldPostsHomeAndGoesOnToTheBase) {
  EditKeys k;
  EXPECT_TRUE(
      same(k.dispatch(EditMessage::kLeftButtonDown, 0, true), false, EditEffect::kPostHome));
  EXPECT_TRUE(same(k.dispatch(EditMessage::kLeftButtonDown, 0, false), false, EditEffect::kNone));
}

TEST(EditKeys, EnterAndDownMoveOnUpMovesBack) {
  EditKeys k;
  EXPECT_TRUE(
      same(k.dispatch(EditMessage::kWantKeys, kVkReturn, false), true, EditEffect::kInjectTab));
  EXPECT_TRUE(same(k.dispatch(EditMessage::kWantKeys, kVkDown, false), false, EditEffect::kNone));
  EXPECT_TRUE(
      same(k.dispatch(EditMessage::kKeyDown, kVkDown, false), true, EditEffect::kInjectTab));
  EXPECT_TRUE(
      same(k.dispatch(EditMessage::kKeyDown, kVkUp, false), true, EditEffect::kInjectBackTab));
  // Enter's own key-down goes to the base edit; its key-up is swallowed.
  EXPECT_TRUE(same(k.dispatch(EditMessage::kKeyDown, kVkReturn, false), false, EditEffect::kNone));
  EXPECT_TRUE(same(k.dispatch(EditMessage::kKeyUp, kVkReturn, false), true, EditEffect::kNone));
  EXPECT_TRUE(same(k.dispatch(EditMessage::kKeyUp, kVkDown, false), false, EditEffect::kNone));
  // Its character never reaches the single-line edit, which would beep.
  EXPECT_TRUE(same(k.dispatch(EditMessage::kChar, '\r', false), true, EditEffect::kNone));
  EXPECT_TRUE(same(k.dispatch(EditMessage::kChar, 'a', false), false, EditEffect::kNone));
}

TEST(EditKeys, KeypadDecimalCommaBecomesPeriodCommaKeyStaysComma) {
  EditKeys k;
  EXPECT_FALSE(k.dispatch(EditMessage::kKeyDown, kVkDecimal, false).handled);
  EXPECT_TRUE(k.wdec());
  EXPECT_TRUE(same(k.dispatch(EditMessage::kChar, ',', false), true, EditEffect::kInjectPeriod));
  EXPECT_FALSE(k.wdec());
  // The injected period's own key-down and character pass.
  EXPECT_FALSE(k.dispatch(EditMessage::kKeyDown, 0xBE, false).handled);
  EXPECT_FALSE(k.dispatch(EditMessage::kChar, '.', false).handled);
  // The comma key (VK_OEM_COMMA) types its comma.
  k.dispatch(EditMessage::kKeyDown, 0xBC, false);
  EXPECT_TRUE(same(k.dispatch(EditMessage::kChar, ',', false), false, EditEffect::kNone));
  // A keypad decimal key that already types "." is left alone, and WDEC stays for a comma.
  k.dispatch(EditMessage::kKeyDown, kVkDecimal, false);
  EXPECT_FALSE(k.dispatch(EditMessage::kChar, '.', false).handled);
  EXPECT_TRUE(k.wdec());
}

TEST(EditKeys, EscapeRestoresTheTextOfTheFocusGain) {
  EditKeys k;
  k.focus_gained("C:\\KONTOR\\");
  EXPECT_EQ(k.saved_text(), "C:\\KONTOR\\");
  EXPECT_TRUE(
      same(k.dispatch(EditMessage::kKeyDown, kVkEscape, false), true, EditEffect::kRestoreText));
  EXPECT_TRUE(
      same(k.dispatch(EditMessage::kKeyUp, kVkEscape, false), true, EditEffect::kRestoreText));
  k.focus_gained("");
  EXPECT_EQ(k.saved_text(), "");
  EXPECT_TRUE(same(k.dispatch(EditMessage::kChar, 'x', false), false, EditEffect::kNone));
  EXPECT_TRUE(same(k.dispatch(EditMessage::kOther, 0, true), false, EditEffect::kNone));
}

TEST(EditKeys, InsertToggleSetOnlyWhenClear) {
  unsigned char state[256] = {};
  state[kVkInsert] = 0x80;  // held down, toggle off
  EXPECT_TRUE(insert_toggle_on(state));
  EXPECT_EQ(state[kVkInsert], 0x81);
  EXPECT_FALSE(insert_toggle_on(state));
  EXPECT_EQ(state[kVkInsert], 0x81);
  for (int i = 0; i < 256; ++i)
    if (i != kVkInsert) {
      EXPECT_EQ(state[i], 0) << i;
    }
}

}  // namespace
}  // namespace app
