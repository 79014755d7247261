// The edit box model: text, selection and the key events of user input.
#include "platform/widgets/text_box.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/text/text.h"
#include "platform/text/utf8_cursor.h"
#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {
namespace {

struct KeyStroke {
  int16_t key_code = 0;
  int16_t shift = 0;
};

// The key (US layout) that types a code point; 0 when no key on the layout types it.
KeyStroke KeyForCodePoint(uint32_t cp) {
  if (cp >= 'a' && cp <= 'z') return {static_cast<int16_t>(cp - 'a' + 'A'), 0};
  if (cp >= 'A' && cp <= 'Z') return {static_cast<int16_t>(cp), kShiftMask};
  if (cp >= '0' && cp <= '9') return {static_cast<int16_t>(cp), 0};
  if (cp == ' ') return {32, 0};
  constexpr std::string_view kShiftedDigits = ")!@#$%^&*(";
  if (cp < 0x80) {
    if (auto i = kShiftedDigits.find(static_cast<char>(cp)); i != std::string_view::npos) {
      return {static_cast<int16_t>('0' + i), kShiftMask};
    }
    struct Oem {
      char plain, shifted;
      int16_t code;
    };
    static constexpr Oem kOem[] = {{';', ':', 186}, {'=', '+', 187}, {',', '<', 188},
                                   {'-', '_', 189}, {'.', '>', 190}, {'/', '?', 191},
                                   {'`', '~', 192}, {'[', '{', 219}, {'\\', '|', 220},
                                   {']', '}', 221}, {'\'', '"', 222}};
    for (const Oem& k : kOem) {
      if (static_cast<char>(cp) == k.plain) return {k.code, 0};
      if (static_cast<char>(cp) == k.shifted) return {k.code, kShiftMask};
    }
  }
  return {0, 0};
}

// The character a key types, or 0.
int16_t CharacterForKey(int16_t key_code, int16_t shift) {
  switch (key_code) {
    case kKeyBack:
    case kKeyTab:
    case kKeyReturn:
    case kKeyEscape:
    case 32:
      return key_code;
    default:
      break;
  }
  if (key_code >= 'A' && key_code <= 'Z') {
    return (shift & kShiftMask) ? key_code : static_cast<int16_t>(key_code - 'A' + 'a');
  }
  if (key_code >= '0' && key_code <= '9' && !(shift & kShiftMask)) return key_code;
  return 0;
}

}  // namespace

TextBox::TextBox(std::string name) : Widget(std::move(name)) {}

int32_t TextBox::Length() const {
  return static_cast<int32_t>(CodePointOffsets(text_).size() - 1);
}

void TextBox::Edit(std::string new_text, int32_t caret) {
  const bool changed = new_text.size() != text_.size() || new_text.compare(text_) != 0;
  text_.swap(new_text);
  sel_start_ = caret;
  sel_length_ = 0;
  if (changed && on_change) on_change();
}

void TextBox::set_text(std::string text) {
  Edit(std::move(text), 0);
}

void TextBox::set_sel_start(int32_t v) {
  if (v < 0) throw ComError::InvalidPropertyValue(name());
  sel_start_ = std::min(v, Length());
  sel_length_ = 0;
}

void TextBox::set_sel_length(int32_t v) {
  if (v < 0) throw ComError::InvalidPropertyValue(name());
  sel_length_ = std::min(v, Length() - sel_start_);
}

std::string TextBox::sel_text() const {
  const auto offsets = CodePointOffsets(text_);
  const size_t from = offsets[sel_start_];
  return text_.substr(from, offsets[sel_start_ + sel_length_] - from);
}

void TextBox::ReplaceSelection(const std::string& s, bool from_user) {
  if (from_user && max_length_ > 0) {
    const int32_t inserted = static_cast<int32_t>(CodePointOffsets(s).size() - 1);
    // Only growth is refused, so a box over its limit (set by the program) can still shrink.
    if (inserted > sel_length_ && Length() - sel_length_ + inserted > max_length_) return;
  }
  const auto offsets = CodePointOffsets(text_);
  const size_t from = offsets[sel_start_];
  const size_t to = offsets[sel_start_ + sel_length_];
  std::string next = text_.substr(0, from) + s + text_.substr(to);
  Edit(std::move(next), sel_start_ + static_cast<int32_t>(CodePointOffsets(s).size() - 1));
}

void TextBox::set_sel_text(const std::string& s) {
  ReplaceSelection(s, false);
}

void TextBox::set_max_length(int32_t v) {
  if (v < 0) throw ComError::InvalidPropertyValue(name());
  max_length_ = v;
}

void TextBox::set_font_size(double v) {
  if (!(v > 0)) throw ComError::InvalidPropertyValue(name());
  font_size_ = v;
}

void TextBox::set_alignment(int16_t v) {
  if (v < 0 || v > 2) throw ComError::InvalidPropertyValue(name());
  alignment_ = v;
}

void TextBox::HandleCharacter(int16_t key_ascii, uint32_t code_point) {
  if (locked_) return;
  switch (key_ascii) {
    case kKeyBack:
      if (sel_length_ == 0) {
        if (sel_start_ == 0) return;
        --sel_start_;
        sel_length_ = 1;
      }
      ReplaceSelection("", true);
      return;
    case kKeyReturn:
      if (multi_line_) ReplaceSelection("\r\n", true);
      return;
    default:
      break;
  }
  if (code_point < 32) return;  // Tab, Escape and other controls insert nothing
  ReplaceSelection(EncodeCodePoint(code_point), true);
}

void TextBox::TypeText(const std::string& text) {
  if (!enabled()) return;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t len = 1;
    const uint32_t cp = DecodeCodePoint(text, pos, &len);
    pos += len;
    if (cp == '\r') continue;  // a line break is typed as one Return
    if (cp == '\n' || cp == '\t' || cp == '\b' || cp == 27) {
      PressKey(cp == '\n' ? kKeyReturn : static_cast<int16_t>(cp));
      continue;
    }
    const KeyStroke key = KeyForCodePoint(cp);
    int16_t key_code = key.key_code;
    if (on_key_down) on_key_down(key_code, key.shift);
    // Code points beyond 16 bits travel as their low 16 bits; unchanged, the original is typed.
    const int16_t original = static_cast<int16_t>(cp & 0xFFFF);
    int16_t key_ascii = original;
    if (on_key_press) on_key_press(key_ascii);
    if (key_ascii != 0) {
      HandleCharacter(key_ascii, key_ascii == original ? cp : static_cast<uint16_t>(key_ascii));
    }
    key_code = key.key_code;
    if (on_key_up) on_key_up(key_code, key.shift);
  }
}

void TextBox::PressKey(int16_t key_code, int16_t shift) {
  if (!enabled()) return;
  int16_t code = key_code;
  if (on_key_down) on_key_down(code, shift);
  // The character comes from the key as pressed, whatever KeyDown did to KeyCode.
  if (const int16_t ch = CharacterForKey(key_code, shift); ch != 0) {
    int16_t key_ascii = ch;
    if (on_key_press) on_key_press(key_ascii);
    if (key_ascii != 0) HandleCharacter(key_ascii, static_cast<uint16_t>(key_ascii));
  } else if (code != 0) {
    switch (code) {
      case kKeyDelete:
        if (locked_) break;
        if (sel_length_ == 0 && sel_start_ < Length()) sel_length_ = 1;
        if (sel_length_ > 0) ReplaceSelection("", true);
        break;
      case kKeyLeft:
        set_sel_start(std::max(0, sel_length_ ? sel_start_ : sel_start_ - 1));
        break;
      case kKeyRight:
        set_sel_start(sel_length_ ? sel_start_ + sel_length_ : sel_start_ + 1);
        break;
      case kKeyHome:
        set_sel_start(0);
        break;
      case kKeyEnd:
        set_sel_start(Length());
        break;
      default:
        break;
    }
  }
  code = key_code;
  if (on_key_up) on_key_up(code, shift);
}

std::string TextBox::shown_text() const {
  if (password_char_.empty()) return text();
  std::string masked;
  for (int64_t i = 0, n = Utf8Length(text()); i < n; ++i) masked += password_char_;
  return masked;
}

}  // namespace tabulo::platform
