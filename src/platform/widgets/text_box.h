// TextBox: the single- or multi-line edit box model. Text is UTF-8; lengths and positions
// (SelStart, SelLength, MaxLength) count code points. Key events carry their codes by
// reference so a handler can change or cancel them, as the classic events do.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/widgets/key_codes.h"
#include "platform/widgets/widget.h"

namespace tabulo::platform {

// Key codes the edit box acts on.
// Shift argument bits.

class TextBox : public Widget {
 public:
  explicit TextBox(std::string name);

  const std::string& text() const { return text_; }
  // Puts the caret at the start; Change is raised when the text differs. MaxLength limits
  // typing only, not the program.
  void set_text(std::string text);

  int32_t sel_start() const { return sel_start_; }
  int32_t sel_length() const { return sel_length_; }
  // Negative raises 380; beyond the end goes to the end. Setting SelStart clears SelLength.
  void set_sel_start(int32_t v);
  // Negative raises 380; cut short at the end of the text.
  void set_sel_length(int32_t v);
  std::string sel_text() const;
  // Replaces the selection; the caret ends after the new text.
  void set_sel_text(const std::string& s);

  int32_t max_length() const { return max_length_; }
  void set_max_length(int32_t v);  // 0 = no limit; negative raises 380

  const std::string& font_name() const { return font_name_; }
  void set_font_name(std::string v) { font_name_ = std::move(v); }
  double font_size() const { return font_size_; }
  void set_font_size(double v);  // must be > 0 (else 380)
  // 0 left, 1 right, 2 center; others raise 380.
  int16_t alignment() const { return alignment_; }
  void set_alignment(int16_t v);
  bool multi_line() const { return multi_line_; }
  void set_multi_line(bool v) { multi_line_ = v; }
  // A locked box raises key events but does not change its text.
  bool locked() const { return locked_; }
  void set_locked(bool v) { locked_ = v; }
  // Shown in place of every character when not empty (a password box); the text is kept.
  const std::string& password_char() const { return password_char_; }
  void set_password_char(std::string v) { password_char_ = std::move(v); }
  // The text as the box shows it: the password character once per character of a password.
  std::string shown_text() const;

  // User input; a disabled box ignores it. TypeText raises KeyDown, KeyPress and KeyUp per
  // code point and inserts the KeyAscii the handlers leave (0 swallows it); characters
  // beyond MaxLength are dropped.
  void TypeText(const std::string& text);
  // A key: KeyDown, KeyPress for keys that produce a character (Return 13, Tab 9, Escape
  // 27, Back 8), KeyUp. A KeyDown handler that sets KeyCode to 0 cancels the key's own
  // action (Delete, arrows, Home, End). Return inserts a line break only when multi-line;
  // Tab and Escape insert nothing.
  void PressKey(int16_t key_code, int16_t shift = 0);

  std::function<void()> on_change;
  std::function<void(int16_t& key_code, int16_t shift)> on_key_down;
  std::function<void(int16_t& key_ascii)> on_key_press;
  std::function<void(int16_t& key_code, int16_t shift)> on_key_up;

 private:
  int32_t Length() const;
  void ReplaceSelection(const std::string& s, bool from_user);
  void HandleCharacter(int16_t key_ascii, uint32_t code_point);
  void Edit(std::string new_text, int32_t caret);

  std::string text_;
  int32_t sel_start_ = 0;
  int32_t sel_length_ = 0;
  int32_t max_length_ = 0;
  std::string font_name_ = "MS Sans Serif";
  double font_size_ = 8.25;
  int16_t alignment_ = 0;
  bool multi_line_ = false;
  bool locked_ = false;
  std::string password_char_;
};

}  // namespace tabulo::platform
