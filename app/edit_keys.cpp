#include "app/edit_keys.h"

namespace app {

EditDecision EditKeys::dispatch(EditMessage message, int code, bool text_blank) {
  switch (message) {
    case EditMessage::kLeftButtonDown:
      // The click goes on to the base; the posted Home keys arrive after it.
      if (text_blank) return {false, EditEffect::kPostHome};
      return {};
    case EditMessage::kWantKeys:
      if (code == kVkReturn) return {true, EditEffect::kInjectTab};
      return {};
    case EditMessage::kChar:
      // Enter (and Ctrl+Enter) already moved on at its key-down; a single-line edit would
      // only beep at the character.
      if (code == '\r' || code == '\n') return {true, EditEffect::kNone};
      // A keypad decimal key that typed a comma: a period instead. The comma key itself
      // comes after a key-down that cleared WDEC, so its comma passes.
      if (code == ',' && wdec_) {
        wdec_ = false;
        return {true, EditEffect::kInjectPeriod};
      }
      return {};
    case EditMessage::kKeyDown:
      wdec_ = code == kVkDecimal;
      if (code == kVkDown) return {true, EditEffect::kInjectTab};
      if (code == kVkUp) return {true, EditEffect::kInjectBackTab};
      if (code == kVkEscape) return {true, EditEffect::kRestoreText};
      return {};
    case EditMessage::kKeyUp:
      if (code == kVkEscape) return {true, EditEffect::kRestoreText};
      if (code == kVkReturn) return {true, EditEffect::kNone};
      return {};
    case EditMessage::kOther:
      return {};
  }
  return {};
}

bool insert_toggle_on(unsigned char* key_state) {
  if (key_state[kVkInsert] & 1) return false;
  key_state[kVkInsert] |= 1;
  return true;
}

}  // namespace app
