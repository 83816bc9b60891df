// What the edit fields WKAM, IDIR, LOG, HES and WISERV (class MySLE) do with a message, decided
// apart from any window system: the Win32 field carries the decision out (posts, injected
// keys, the text restored). Key codes are the Windows virtual-key numbers.
#pragma once

#include <string>

namespace app {

inline constexpr int kVkReturn = 0x0D;
inline constexpr int kVkEscape = 0x1B;
inline constexpr int kVkUp = 0x26;
inline constexpr int kVkDown = 0x28;
inline constexpr int kVkDecimal = 0x6E;
inline constexpr int kVkInsert = 0x2D;

enum class EditMessage {
  kLeftButtonDown,
  kWantKeys,  // the dialog asks which keys the field wants; code is the key concerned
  kChar,      // code is the character
  kKeyDown,
  kKeyUp,
  kOther,
};

enum class EditEffect {
  kNone,
  kPostHome,       // post Home key-down and key-up to the field itself
  kInjectTab,      // a Tab key-down into the input stream
  kInjectBackTab,  // Shift down, Tab down, Shift up
  kInjectPeriod,   // a key-down of the key that types "."
  kRestoreText,    // the field's text becomes the saved text
};

struct EditDecision {
  bool handled = false;  // false: the base edit gets the message
  EditEffect effect = EditEffect::kNone;
};

class EditKeys {
 public:
  // text_blank: the field's text is empty or only blanks (asked for a button press only).
  EditDecision dispatch(EditMessage message, int code, bool text_blank);
  // The focus came to the field, whose text is then text.
  void focus_gained(const std::string& text) { saved_ = text; }
  const std::string& saved_text() const { return saved_; }
  bool wdec() const { return wdec_; }

 private:
  bool wdec_ = false;
  std::string saved_;
};

// Start-up's Insert toggle: sets the toggle bit of the Insert entry of a keyboard state table
// (256 bytes) when it is clear. True when the table changed and must be written back.
bool insert_toggle_on(unsigned char* key_state);

}  // namespace app
