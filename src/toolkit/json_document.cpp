#include "toolkit/json_document.h"

#include <charconv>
#include <nlohmann/json.hpp>

#include "toolkit/js_number_text.h"
#include "toolkit/json_path.h"
#include "toolkit/lenient_json_reader.h"
#include "toolkit/script_value_text.h"

namespace pelvaro {

using Json = nlohmann::ordered_json;

struct JsonDocument::Tree {
  Json root = Json::object();
};

namespace {

// Setting an element far past the end of an array would have to fill the gap with nulls;
// beyond this gap the write fails instead of allocating without bound.
constexpr std::uint64_t kMaxArrayGap = 1u << 20;

enum class Reach { kValue, kUndefined, kError };

struct Located {
  Reach reach = Reach::kError;
  Json* node = nullptr;

  bool present() const { return reach == Reach::kValue && !node->is_null(); }
};

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The UTF-8 form of a GBK text, converted only when it is not plain ASCII.
class Utf8View {
 public:
  explicit Utf8View(const Text& gbk) {
    if (IsAscii(gbk)) {
      view_ = gbk;
    } else {
      converted_ = GbkToUtf8(gbk);
      view_ = converted_;
    }
  }
  std::string_view view() const { return view_; }

 private:
  std::string converted_;
  std::string_view view_;
};

Json* FindMember(Json& object, std::string_view name) {
  for (auto& [key, value] : object.get_ref<Json::object_t&>()) {
    if (key == name) return &value;
  }
  return nullptr;
}

// One member access: a member of null fails; members an object or array does not hold, and
// members of strings, numbers and booleans, are undefined.
Located Step(Json& node, const PathSelector& selector) {
  if (node.is_null()) return {};
  if (node.is_object()) {
    Json* member = FindMember(node, selector.name);
    return member ? Located{Reach::kValue, member} : Located{Reach::kUndefined, nullptr};
  }
  if (node.is_array() && selector.isIndex && selector.index < node.size()) {
    return {Reach::kValue, &node[static_cast<std::size_t>(selector.index)]};
  }
  return {Reach::kUndefined, nullptr};
}

Located Walk(Json& root, std::string_view path, bool leadingName) {
  PathCursor cursor(path, leadingName);
  Located at{Reach::kValue, &root};
  PathSelector selector;
  while (cursor.Next(selector)) {
    if (at.reach != Reach::kValue) return {};  // a member of undefined
    at = Step(*at.node, selector);
    if (at.reach == Reach::kError) return at;
  }
  return cursor.failed() ? Located{} : at;
}

// "da", "da.x", "da[0]": a path that may name the root variable itself.
bool HasRootPrefix(std::string_view path) {
  return path.size() >= 2 && path.substr(0, 2) == "da" &&
         (path.size() == 2 || path[2] == '.' || path[2] == '[' || path[2] == ' ' || path[2] == '\t');
}

Located Locate(Json& root, std::string_view path) {
  if (HasRootPrefix(path)) {
    Located rooted = Walk(root, path.substr(2), false);
    if (rooted.present()) return rooted;
  }
  return Walk(root, path, true);
}

// The place an assignment to a path writes: the root, or a member or element of a parent.
struct Slot {
  Json* parent = nullptr;  // null for the root
  PathSelector last;
  int depth = 0;  // containers above the slot
};

bool FindSlot(Json& root, std::string_view path, Slot& slot) {
  std::string_view selectors = path;
  bool leadingName = true;
  if (HasRootPrefix(path) && Walk(root, path.substr(2), false).present()) {
    selectors = path.substr(2);
    leadingName = false;
  }
  PathCursor cursor(selectors, leadingName);
  Json* node = &root;
  Json* parent = nullptr;
  PathSelector selector;
  int depth = 0;
  while (cursor.Next(selector)) {
    if (parent != nullptr) {
      Located at = Step(*parent, slot.last);
      if (!at.present()) return false;
      node = at.node;
    }
    parent = node;
    slot.last = selector;
    ++depth;
  }
  if (cursor.failed()) return false;
  slot.parent = parent;
  slot.depth = depth;
  return true;
}

// The node a slot holds, or null when it holds nothing yet.
Json* SlotNode(Json& root, Slot& slot) {
  if (slot.parent == nullptr) return &root;
  Located at = Step(*slot.parent, slot.last);
  return at.reach == Reach::kValue ? at.node : nullptr;
}

bool Assign(Json& root, Slot& slot, Json&& value) {
  if (slot.parent == nullptr) {
    root = std::move(value);
    return true;
  }
  Json& parent = *slot.parent;
  if (parent.is_object()) {
    if (Json* member = FindMember(parent, slot.last.name)) {
      *member = std::move(value);
    } else {
      parent.get_ref<Json::object_t&>().emplace_back(slot.last.name, std::move(value));
    }
    return true;
  }
  if (parent.is_array() && slot.last.isIndex) {
    auto& array = parent.get_ref<Json::array_t&>();
    if (slot.last.index >= array.size()) {
      if (slot.last.index - array.size() > kMaxArrayGap) return false;
      array.resize(static_cast<std::size_t>(slot.last.index) + 1);
    }
    array[static_cast<std::size_t>(slot.last.index)] = std::move(value);
    return true;
  }
  // Named members of arrays and members of strings, numbers and booleans hold nothing.
  return false;
}

// Merges source into target member by member (see setValue).
void Merge(Json& target, Json& source) {
  if (target.is_array()) {
    if (source.is_array()) {
      auto& elements = source.get_ref<Json::array_t&>();
      for (auto& element : elements) target.push_back(std::move(element));
    }
    return;
  }
  auto mergeMember = [&target](const std::string& name, Json& value) {
    Json* member = FindMember(target, name);
    if (member == nullptr) {
      target.get_ref<Json::object_t&>().emplace_back(name, std::move(value));
    } else if (member->is_object() || member->is_array()) {
      Merge(*member, value);
    } else {
      *member = std::move(value);
    }
  };
  if (source.is_object()) {
    for (auto& [name, value] : source.get_ref<Json::object_t&>()) mergeMember(name, value);
  } else if (source.is_array()) {
    auto& elements = source.get_ref<Json::array_t&>();
    for (std::size_t i = 0; i < elements.size(); ++i) mergeMember(std::to_string(i), elements[i]);
  }
}

// Reads a value text with the room left below a slot; false when it is not a value text.
bool ReadCode(const Text& text, int room, bool evaluate, Json& value) {
  if (room < 0) return false;
  LenientJsonReader reader(room);
  Utf8View utf8(text);
  auto outcome = evaluate ? reader.Evaluate(utf8.view(), value) : reader.ReadExpression(utf8.view(), value);
  return outcome != LenientJsonReader::Outcome::kFailed;
}

Text ToGbk(std::string utf8, bool restoreBackslashes) {
  if (restoreBackslashes) RestoreBackslashes(utf8);
  return Utf8ToGbk(utf8);
}

Text PlainTextOf(const Json& node) {
  if (node.is_string()) return ToGbk(node.get_ref<const Json::string_t&>(), true);
  return ToGbk(ScriptPlainText(node), true);
}

void CollectValues(const Json& node, bool recursive, std::vector<Text>& values) {
  auto visit = [&](const Json& member) {
    if (member.is_object() || member.is_array()) {
      if (recursive) CollectValues(member, recursive, values);
    } else if (!member.is_null()) {
      // The values as the engine converts them, stored backslashes (U+2400) left as they are.
      values.push_back(member.is_string() ? ToGbk(member.get_ref<const Json::string_t&>(), false)
                                          : ToGbk(ScriptPlainText(member), false));
    }
  };
  if (node.is_object()) {
    for (const auto& [name, member] : node.get_ref<const Json::object_t&>()) visit(member);
  } else if (node.is_array()) {
    for (const auto& member : node.get_ref<const Json::array_t&>()) visit(member);
  }
}

PathSelector IndexSelector(int index) {
  PathSelector selector;
  selector.name = std::to_string(index);
  selector.isIndex = index >= 0;
  selector.index = index >= 0 ? static_cast<std::uint64_t>(index) : 0;
  return selector;
}

}  // namespace

JsonDocument::JsonDocument() { init(); }

void JsonDocument::init() { tree_ = std::make_shared<Tree>(); }

bool JsonDocument::parse(const Text& text, bool assignAsIs) {
  init();
  Json& root = tree_->root;
  LenientJsonReader reader(kMaxDepth);
  Utf8View utf8(text);
  auto outcome =
      assignAsIs ? reader.ReadStatementValue(utf8.view(), root) : reader.Evaluate(utf8.view(), root);
  if (outcome != LenientJsonReader::Outcome::kValue) root = nullptr;
  return !root.is_null();
}

bool JsonDocument::parseUtf8(std::string_view utf8, bool assignAsIs) {
  init();
  Json& root = tree_->root;
  LenientJsonReader reader(kMaxDepth);
  const std::string valid = ValidUtf8(utf8);
  auto outcome = assignAsIs ? reader.ReadStatementValue(valid, root) : reader.Evaluate(valid, root);
  if (outcome != LenientJsonReader::Outcome::kValue) root = nullptr;
  return !root.is_null();
}

bool JsonDocument::clear() {
  tree_->root = Json::object();
  return true;
}

Text JsonDocument::toJson() const { return ToGbk(ScriptJsonText(tree_->root), true); }

bool JsonDocument::setValue(const Text& path, const Text& value, bool valueIsJson) {
  Json& root = tree_->root;
  Utf8View utf8Path(path);
  Slot slot;
  if (!FindSlot(root, utf8Path.view(), slot)) return false;
  if (!valueIsJson) {
    std::string text = GbkToUtf8(value);
    std::string stored;
    stored.reserve(text.size());
    for (char c : text) {
      if (c == '\\') {
        stored += kBackslashPlaceholder;
      } else {
        stored.push_back(c);
      }
    }
    return Assign(root, slot, Json(std::move(stored)));
  }
  Json source;
  if (!ReadCode(value.empty() ? Text("{}") : value, kMaxDepth - slot.depth, true, source)) return false;
  Json* node = SlotNode(root, slot);
  if (node != nullptr && node->is_object()) {
    Merge(*node, source);
    return true;
  }
  return Assign(root, slot, std::move(source));
}

bool JsonDocument::setByExpression(const Text& path, const Text& expression) {
  Json& root = tree_->root;
  Utf8View utf8Path(path);
  Slot slot;
  Json value;
  if (!FindSlot(root, utf8Path.view(), slot) || !ReadCode(expression, kMaxDepth - slot.depth, true, value)) {
    return false;
  }
  return Assign(root, slot, std::move(value));
}

bool JsonDocument::resolvePath(Text& path) const {
  Json& root = tree_->root;
  Utf8View utf8(path);
  if (HasRootPrefix(utf8.view()) && Walk(root, utf8.view().substr(2), false).present()) return true;
  bool present = Walk(root, utf8.view(), true).present();
  if (path.empty()) {
    path = "da";
  } else if (path[0] == '[') {
    path = "da" + path;
  } else {
    path = "da." + path;
  }
  return present;
}

bool JsonDocument::exists(const Text& path) const {
  Utf8View utf8(path);
  return Locate(tree_->root, utf8.view()).present();
}

int JsonDocument::typeAt(const Text& path) const {
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (at.reach == Reach::kError) return -1;
  if (!at.present()) return 0;
  switch (at.node->type()) {
    case Json::value_t::string:
      return 6;
    case Json::value_t::array:
      return 5;
    case Json::value_t::object:
      return 4;
    case Json::value_t::boolean:
      return 1;
    case Json::value_t::number_float:
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
      return 2;
    default:
      return -1;
  }
}

std::string JsonDocument::utf8At(const Text& path) const {
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (at.reach != Reach::kValue || at.node->is_null()) return {};
  std::string text =
      at.node->is_string() ? at.node->get_ref<const Json::string_t&>() : ScriptPlainText(*at.node);
  RestoreBackslashes(text);
  return text;
}

Text JsonDocument::textAt(const Text& path, bool asJson) const {
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (at.reach != Reach::kValue) return {};
  if (asJson) return ToGbk(ScriptJsonText(*at.node), true);
  if (at.node->is_null()) return {};
  return PlainTextOf(*at.node);
}

int JsonDocument::memberNames(std::vector<Text>& names, const Text& path) const {
  names.clear();
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (at.reach != Reach::kValue || !at.node->is_object()) return 0;
  for (const auto& [name, value] : at.node->get_ref<const Json::object_t&>())
    names.push_back(Utf8ToGbk(name));
  return static_cast<int>(names.size());
}

int JsonDocument::countAt(const Text& path) const {
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (at.reach != Reach::kValue || !at.node->is_array()) return 0;
  return static_cast<int>(at.node->size());
}

namespace {

// A separate document holding the node, as if its JSON text were parsed anew.
bool CopyInto(const Json& node, Json& target) {
  if (node.is_null()) return false;
  if (node.is_string()) {
    std::string program = node.get_ref<const Json::string_t&>();
    RestoreBackslashes(program);
    LenientJsonReader reader(JsonDocument::kMaxDepth);
    if (reader.ReadProgram(program, target) != LenientJsonReader::Outcome::kValue) target = nullptr;
    return !target.is_null();
  }
  // Stored backslashes come back into the JSON text and are read again as escape characters,
  // as a reparse of that text reads them.
  std::string json = ScriptJsonText(node);
  if (json.find(kBackslashPlaceholder) == std::string::npos) {
    target = node;
    return true;
  }
  RestoreBackslashes(json);
  LenientJsonReader reader(JsonDocument::kMaxDepth);
  if (reader.Evaluate(json, target) != LenientJsonReader::Outcome::kValue) target = nullptr;
  return !target.is_null();
}

}  // namespace

JsonDocument JsonDocument::subDocument(const Text& path) const {
  JsonDocument copy;
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  Json& target = copy.tree_->root;
  if (at.reach != Reach::kValue || !CopyInto(*at.node, target)) target = nullptr;
  return copy;
}

bool JsonDocument::appendItem(const Text& value, const Text& path, bool valueIsCode, bool atFront) {
  Json& root = tree_->root;
  Utf8View utf8Path(path);
  Slot slot;
  if (!FindSlot(root, utf8Path.view(), slot)) return false;
  Json element;
  if (valueIsCode) {
    if (!ReadCode(value, kMaxDepth - slot.depth - 1, false, element)) return false;
  } else {
    element = GbkToUtf8(value);
  }
  Json* node = SlotNode(root, slot);
  if (node == nullptr || !node->is_array()) {
    if (!Assign(root, slot, Json::array())) return false;
    node = SlotNode(root, slot);
  }
  auto& array = node->get_ref<Json::array_t&>();
  if (atFront) {
    array.insert(array.begin(), std::move(element));
  } else {
    array.push_back(std::move(element));
  }
  return true;
}

JsonDocument JsonDocument::elementDocument(int index, const Text& path) const {
  JsonDocument copy;
  Json& target = copy.tree_->root;
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (at.reach == Reach::kValue && !at.node->is_null()) at = Step(*at.node, IndexSelector(index));
  if (at.reach != Reach::kValue || at.node == nullptr || !CopyInto(*at.node, target)) target = nullptr;
  return copy;
}

Text JsonDocument::elementText(int index, const Text& path, bool asJson) const {
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (at.reach != Reach::kValue || at.node->is_null()) return {};
  at = Step(*at.node, IndexSelector(index));
  if (at.reach != Reach::kValue) return {};
  if (asJson) return ToGbk(ScriptJsonText(*at.node), true);
  if (!at.node->is_string()) return {};
  return PlainTextOf(*at.node);
}

bool JsonDocument::setElement(int index, const Text& path, const Text& value, bool valueIsCode) {
  Json& root = tree_->root;
  Utf8View utf8(path);
  Slot slot;
  if (!FindSlot(root, utf8.view(), slot)) return false;
  Json* node = SlotNode(root, slot);
  if (node == nullptr || node->is_null()) return false;
  Slot element{node, IndexSelector(index), slot.depth + 1};
  Json item;
  if (valueIsCode) {
    if (!ReadCode(value, kMaxDepth - element.depth, false, item)) return false;
  } else {
    item = GbkToUtf8(value);
  }
  return Assign(root, element, std::move(item));
}

bool JsonDocument::removeElement(int index, const Text& path) {
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (at.reach != Reach::kValue || !at.node->is_array()) return false;
  auto& array = at.node->get_ref<Json::array_t&>();
  long long position = index < 0 ? static_cast<long long>(array.size()) + index : index;
  if (position < 0) position = 0;
  if (position < static_cast<long long>(array.size())) array.erase(array.begin() + position);
  return true;
}

bool JsonDocument::removeAt(const Text& path) {
  Json& root = tree_->root;
  Utf8View utf8(path);
  Slot slot;
  if (!FindSlot(root, utf8.view(), slot) || slot.parent == nullptr) return false;
  Json& parent = *slot.parent;
  if (parent.is_object()) {
    auto& object = parent.get_ref<Json::object_t&>();
    for (auto it = object.begin(); it != object.end(); ++it) {
      if (it->first == slot.last.name) {
        object.erase(it);
        break;
      }
    }
  } else if (parent.is_array() && slot.last.isIndex && slot.last.index < parent.size()) {
    parent[static_cast<std::size_t>(slot.last.index)] = nullptr;  // leaves a hole
  }
  return true;
}

bool JsonDocument::setNumber(const Text& path, double number) {
  Json& root = tree_->root;
  Utf8View utf8(path);
  Slot slot;
  return FindSlot(root, utf8.view(), slot) && Assign(root, slot, Json(number));
}

double JsonDocument::numberAt(const Text& path) const {
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (!at.present()) return 0;
  const Json& node = *at.node;
  if (node.is_number()) return node.get<double>();
  if (node.is_boolean()) return node.get<bool>() ? 1 : 0;
  if (!node.is_string()) return 0;
  std::string_view text = node.get_ref<const Json::string_t&>();
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  // Only decimal notation: the library would also read "inf" and "nan".
  if (text.find_first_of("iInN") != std::string_view::npos) return 0;
  double value = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return 0;
  return value;
}

Text JsonDocument::jsonAt(const Text& path) const { return textAt(path, true); }

int JsonDocument::nodeValues(std::vector<Text>& values, const Text& path, bool recursive) const {
  values.clear();
  Utf8View utf8(path);
  Located at = Locate(tree_->root, utf8.view());
  if (at.reach == Reach::kValue) CollectValues(*at.node, recursive, values);
  return static_cast<int>(values.size());
}

}  // namespace pelvaro
