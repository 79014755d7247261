// The events of the operator display's page (serve_event.h).
#include "container/serve_event.h"

#include <nlohmann/json.hpp>
#include <tuple>

namespace tabulo::container {
namespace {

using nlohmann::json;

constexpr std::pair<std::string_view, BrowseKey> kKeys[] = {
    {"Up", BrowseKey::Up},         {"Down", BrowseKey::Down},
    {"Left", BrowseKey::Left},     {"Right", BrowseKey::Right},
    {"PageUp", BrowseKey::PageUp}, {"PageDown", BrowseKey::PageDown},
    {"Home", BrowseKey::Home},     {"End", BrowseKey::End},
    {"Enter", BrowseKey::Enter},   {"Tab", BrowseKey::Tab},
    {"Escape", BrowseKey::Escape}, {"Backspace", BrowseKey::Backspace},
    {"Delete", BrowseKey::Delete}, {"Refresh", BrowseKey::Refresh},
    {"Menu", BrowseKey::Menu},     {"LastWindow", BrowseKey::LastWindow},
};

constexpr std::pair<std::string_view, ScrollPart> kParts[] = {
    {"up", ScrollPart::UpArrow},
    {"down", ScrollPart::DownArrow},
    {"pageup", ScrollPart::TroughAbove},
    {"pagedown", ScrollPart::TroughBelow},
};

constexpr std::pair<std::string_view, ServeEvent::Design::Action> kDesignActions[] = {
    {"page", ServeEvent::Design::Action::kPage},     {"fill", ServeEvent::Design::Action::kFill},
    {"choose", ServeEvent::Design::Action::kChoose}, {"check", ServeEvent::Design::Action::kCheck},
    {"press", ServeEvent::Design::Action::kPress},   {"key", ServeEvent::Design::Action::kKey},
    {"cell", ServeEvent::Design::Action::kCell},     {"apply", ServeEvent::Design::Action::kApply},
    {"close", ServeEvent::Design::Action::kClose},   {"save", ServeEvent::Design::Action::kSave},
};

constexpr std::pair<std::string_view, ServeEvent::View::Action> kViewActions[] = {
    {"goto", ServeEvent::View::Action::kGoTo},     {"find", ServeEvent::View::Action::kFind},
    {"cancel", ServeEvent::View::Action::kCancel}, {"sort", ServeEvent::View::Action::kSort},
    {"filter", ServeEvent::View::Action::kFilter}, {"reset", ServeEvent::View::Action::kReset},
};

constexpr size_t kMaxDragPositions = 1000;

const json& Member(const json& o, const char* name) {
  auto it = o.find(name);
  if (it == o.end()) throw BadEvent(std::string("\"") + name + "\" is missing");
  return *it;
}

int64_t Integer(const json& o, const char* name, int64_t low, int64_t high) {
  const json& v = Member(o, name);
  if (!v.is_number_integer() || v.get<int64_t>() < low || v.get<int64_t>() > high)
    throw BadEvent(std::string("\"") + name + "\" must be an integer from " + std::to_string(low) +
                   " to " + std::to_string(high));
  return v.get<int64_t>();
}

std::string Text(const json& o, const char* name) {
  const json& v = Member(o, name);
  if (!v.is_string()) throw BadEvent(std::string("\"") + name + "\" must be a string");
  return v.get<std::string>();
}

template <typename T, size_t N>
T Lookup(const std::pair<std::string_view, T> (&table)[N], const std::string& name,
         const char* what) {
  for (const auto& [n, value] : table)
    if (n == name) return value;
  throw BadEvent("unknown " + std::string(what) + " \"" + name + "\"");
}

ServeEvent::Answer ReadAnswer(const json& o) {
  ServeEvent::Answer e;
  e.dialog = static_cast<uint64_t>(Integer(o, "id", 1, INT64_MAX));
  if (o.contains("button")) {
    e.button = static_cast<int>(Integer(o, "button", 1, 7));
  } else if (o.contains("choice")) {
    e.choice = static_cast<int>(Integer(o, "choice", -1, 1000));
  } else if (o.contains("cancel")) {
    e.cancel = true;
  } else if (o.contains("color")) {
    e.color = static_cast<int32_t>(Integer(o, "color", 0, 0xFFFFFF));
  } else if (o.contains("font")) {
    const json& f = Member(o, "font");
    if (!f.is_object()) throw BadEvent("\"font\" must be an object");
    const json& size = Member(f, "size");
    if (!size.is_number() || size.get<double>() < 1 || size.get<double>() > 1638)
      throw BadEvent("\"size\" must be a number from 1 to 1638");
    FontChoice font{Text(f, "name"), size.get<double>()};
    for (auto [flag, name] :
         {std::pair{&font.bold, "bold"}, std::pair{&font.italic, "italic"},
          std::pair{&font.underline, "underline"}, std::pair{&font.strikeout, "strikeout"}}) {
      auto it = f.find(name);
      if (it != f.end() && !it->is_boolean())
        throw BadEvent(std::string("\"") + name + "\" must be true or false");
      *flag = it != f.end() && it->get<bool>();
    }
    e.font = std::move(font);
  } else {
    e.user = Text(o, "user");
    e.password = Text(o, "password");
    e.reason = Text(o, "reason");
  }
  return e;
}

ServeEvent::Design ReadDesignEvent(const json& o) {
  using D = ServeEvent::Design::Action;
  ServeEvent::Design e;
  e.action = Lookup(kDesignActions, Text(o, "action"), "design action");
  if (e.action == D::kApply || e.action == D::kClose || e.action == D::kSave) return e;
  e.name = Text(o, "name");
  if (e.action == D::kFill) e.text = Text(o, "text");
  if (e.action == D::kChoose) e.value = static_cast<int32_t>(Integer(o, "index", 0, INT32_MAX));
  if (e.action == D::kCheck) e.value = static_cast<int32_t>(Integer(o, "value", 0, 1));
  if (e.action == D::kCell) {
    e.row = static_cast<int32_t>(Integer(o, "row", 0, INT32_MAX));
    e.col = static_cast<int32_t>(Integer(o, "col", 0, INT32_MAX));
  }
  return e;
}

ServeEvent::View ReadViewEvent(const json& o) {
  using V = ServeEvent::View::Action;
  ServeEvent::View e;
  e.action = Lookup(kViewActions, Text(o, "action"), "view action");
  if (e.action == V::kGoTo) e.record = Integer(o, "record", INT64_MIN, INT64_MAX);
  if (e.action == V::kSort) e.col = static_cast<int32_t>(Integer(o, "col", 0, INT32_MAX));
  if (e.action == V::kFind) {
    e.text = Text(o, "text");
    auto it = o.find("forward");
    if (it != o.end() && !it->is_boolean()) throw BadEvent("\"forward\" must be true or false");
    e.forward = it == o.end() || it->get<bool>();
  }
  if (e.action == V::kFilter) {
    e.name = Text(o, "name");
    const std::string op = Text(o, "op");
    const std::optional<FilterOp> parsed = ParseFilterOp(op);
    if (!parsed)
      throw BadEvent("unknown filter operator \"" + op +
                     "\" (contains, =, <>, <, <=, >, >=, is null, is not null)");
    e.op = *parsed;
    if (e.op != FilterOp::kIsNull && e.op != FilterOp::kIsNotNull) e.text = Text(o, "text");
  }
  return e;
}

ServeEvent::Kind ReadGridEvent(const json& o) {
  const std::string action = Text(o, "action");
  if (action == "click") {
    ServeEvent::Click e;
    e.row = static_cast<int32_t>(Integer(o, "row", 0, INT32_MAX));
    e.col = static_cast<int32_t>(Integer(o, "col", 0, INT32_MAX));
    e.right_button = Integer(o, "button", 1, 2) == 2;
    return e;
  }
  if (action == "wheel")
    return ServeEvent::Wheel{static_cast<int32_t>(Integer(o, "notches", -100, 100))};
  // A column border dragged to a new width, or double-clicked to fit the column.
  if (action == "colwidth") {
    ServeEvent::ColumnWidth e;
    e.col = static_cast<int32_t>(Integer(o, "col", 0, INT32_MAX));
    e.width = static_cast<double>(Integer(o, "width", 1, kMaxDisplayWidth));
    return e;
  }
  if (action == "fit")
    return ServeEvent::FitColumn{static_cast<int32_t>(Integer(o, "col", 0, INT32_MAX))};
  throw BadEvent("unknown grid action \"" + action + "\"");
}

ServeEvent::Kind ReadScrollEvent(const json& o) {
  const std::string action = Text(o, "action");
  if (action != "drag") return ServeEvent::Scroll{Lookup(kParts, action, "scroll bar action")};
  ServeEvent::Drag e;
  const json& list = Member(o, "positions");
  if (!list.is_array() || list.empty() || list.size() > kMaxDragPositions)
    throw BadEvent("\"positions\" must list 1 to 1000 positions");
  for (const json& p : list) {
    if (!p.is_number_integer() || p.get<int64_t>() < INT16_MIN || p.get<int64_t>() > INT16_MAX)
      throw BadEvent("a drag position must be an integer from -32768 to 32767");
    e.positions.push_back(static_cast<int16_t>(p.get<int64_t>()));
  }
  return e;
}

ServeEvent::Resize ReadResize(const json& o) {
  const std::string action = Text(o, "action");
  if (action != "resize") throw BadEvent("unknown display action \"" + action + "\"");
  ServeEvent::Resize e;
  for (auto [name, high, to] : {std::tuple{"width", kMaxDisplayWidth, &e.width},
                                std::tuple{"height", kMaxDisplayHeight, &e.height}}) {
    const json& v = Member(o, name);
    if (!v.is_number_integer() || v.get<int64_t>() < 1 || v.get<int64_t>() > high)
      throw BadEvent("the display's " + std::string(name) +
                     " must be a whole number of pixels from 1 to " + std::to_string(high) +
                     " (a control is at most " + std::to_string(kMaxDisplayWidth) + " x " +
                     std::to_string(kMaxDisplayHeight) + " pixels, 1000 columns by 1000 lines)");
    *to = static_cast<double>(v.get<int64_t>());
  }
  return e;
}

ServeEvent::Kind ReadControlEvent(const json& o, const std::string& widget) {
  if (widget == "grid") return ReadGridEvent(o);
  if (widget == "keyboard") {
    if (o.contains("text")) return ServeEvent::Type{Text(o, "text")};
    return ServeEvent::Key{Lookup(kKeys, Text(o, "key"), "key")};
  }
  if (widget == "scrollbar") return ReadScrollEvent(o);
  if (widget == "display") return ReadResize(o);
  if (widget == "design") return ReadDesignEvent(o);
  if (widget == "view") return ReadViewEvent(o);
  throw BadEvent("unknown widget \"" + widget + "\"");
}

}  // namespace

ServeEvent ParseServeEvent(std::string_view body, size_t controls) {
  json o;
  try {
    o = json::parse(body);
  } catch (const json::exception& e) {
    // Not only bad syntax: a number too large for a double (1e400) is refused as well.
    throw BadEvent(std::string("bad JSON: ") + e.what());
  }
  if (!o.is_object()) throw BadEvent("an event is a JSON object");
  const std::string widget = Text(o, "widget");
  if (widget == "dialog") return {0, ReadAnswer(o)};
  if (controls == 0) throw BadEvent("the display shows no control");
  const auto control =
      static_cast<size_t>(Integer(o, "control", 0, static_cast<int64_t>(controls) - 1));
  return {control, ReadControlEvent(o, widget)};
}

}  // namespace tabulo::container
